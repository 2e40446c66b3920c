#include "loginitem.h"

#include "localized.h"
#include "settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcLoginItem, "io.vellssh.loginitem")

namespace {

const QByteArray mark = "X-VellSSH-LoginItem=true";

// An Exec argument: quoted when it holds anything but plain path characters, with the
// characters reserved inside quotes escaped, and every backslash doubled once more because the
// value is itself an escaped string.
QString execArgument(const QString &program)
{
    static const QRegularExpression plain(u"^[A-Za-z0-9/._+-]+$"_s);
    if (plain.match(program).hasMatch())
        return program;
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u"\\\\"_s;
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

} // namespace

LoginItem::LoginItem(QString program, QObject *parent)
    : QObject(parent), m_program(std::move(program))
{}

QString LoginItem::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/autostart/vellssh.desktop"_s;
}

QString LoginItem::defaultProgram()
{
    if (!QStandardPaths::findExecutable(u"vellssh"_s).isEmpty())
        return u"vellssh"_s;
    return QCoreApplication::applicationFilePath();
}

QByteArray LoginItem::entry() const
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=VellSSH\n"
           "Comment=Starts VellSSH and its tunnels when you log in\n"
           "Exec=" +
           execArgument(m_program).toUtf8() +
           "\n"
           "Terminal=false\n" +
           mark + '\n';
}

Result<LoginItem::Outcome> LoginItem::apply(bool launchAtLogin) const
{
    const QString path = entryPath();
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Error(
            localized("“%1” is in the way of the login item: it is not a file.").arg(path));
    std::optional<QByteArray> present;
    if (info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return Error(
                localized("The login item “%1” cannot be read: %2").arg(path, file.errorString()));
        present = file.readAll();
    }
    if (present && !present->contains(mark))
        return Outcome::usersOwnKept;
    if (!launchAtLogin) {
        if (!present)
            return Outcome::unchanged;
        QFile file(path);
        if (!file.remove())
            return Error(localized("The login item “%1” cannot be removed: %2")
                             .arg(path, file.errorString()));
        return Outcome::removed;
    }
    if (present == entry())
        return Outcome::unchanged;
    if (!QDir().mkpath(info.absolutePath()))
        return Error(localized("The folder “%1” cannot be made.").arg(info.absolutePath()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry()) < 0 || !file.commit())
        return Error(
            localized("The login item “%1” cannot be written: %2").arg(path, file.errorString()));
    return Outcome::written;
}

void LoginItem::follow(Settings &settings)
{
    settings.updates<bool>(SettingKeys::launchAtLogin, this, [this](bool launchAtLogin) {
        const Result<Outcome> outcome = apply(launchAtLogin);
        if (!outcome)
            qCCritical(lcLoginItem).noquote() << outcome.error().message;
        else if (*outcome == Outcome::usersOwnKept)
            qCInfo(lcLoginItem).noquote()
                << entryPath() << "is not ours: it stays as the user wrote it";
    });
}
