#include "standarderrorlog.h"

#include <QList>

#include <sys/stat.h>
#include <unistd.h>

namespace StandardErrorLog {

namespace {

bool toJournal = false;

char syslogPriority(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return '7';
    case QtInfoMsg:
        return '6';
    case QtWarningMsg:
        return '4';
    case QtCriticalMsg:
        return '3';
    case QtFatalMsg:
        return '2';
    }
    return '6';
}

void write(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray text = lines(type, qFormatLogMessage(type, context, message), toJournal);
    [[maybe_unused]] const ssize_t written =
        ::write(STDERR_FILENO, text.constData(), size_t(text.size()));
}

} // namespace

void install()
{
    toJournal = isJournal();
    qInstallMessageHandler(write);
}

bool isJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    struct stat status
    {
    };
    if (stream.isEmpty() || ::fstat(STDERR_FILENO, &status) != 0)
        return false;
    return stream == QByteArray::number(quint64(status.st_dev)) + ':' +
                         QByteArray::number(quint64(status.st_ino));
}

QByteArray lines(QtMsgType type, const QString &formatted, bool journal)
{
    QByteArray text;
    for (const QStringView line : QStringView(formatted).split(u'\n')) {
        if (journal) {
            text += '<';
            text += syslogPriority(type);
            text += '>';
        }
        text += line.toLocal8Bit() + '\n';
    }
    return text;
}

} // namespace StandardErrorLog
