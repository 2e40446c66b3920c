#include "opensshversion.h"

#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

std::optional<QString> openSshVersionFromOutput(const QString &output)
{
    static const QRegularExpression release(u"^OpenSSH_([0-9][^\\s,]*)"_s,
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = release.match(output);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

void probeOpenSshVersion(QObject *context,
                         std::function<void(const std::optional<QString> &)> answer)
{
    auto *ssh = new QProcess(context);
    ssh->setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(ssh, &QProcess::finished, context, [ssh, answer] {
        answer(openSshVersionFromOutput(QString::fromLocal8Bit(ssh->readAll())));
        ssh->deleteLater();
    });
    QObject::connect(ssh, &QProcess::errorOccurred, context,
                     [ssh, answer](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         answer(std::nullopt);
                         ssh->deleteLater();
                     });
    ssh->start(u"ssh"_s, {u"-V"_s});
}
