#include "vellshellopener.h"

#include "localized.h"
#include "profile.h"
#include "regularfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

const QString schemeHandler = u"x-scheme-handler/vellssh"_s;
constexpr int queryTimeoutMs = 10000;
constexpr qint64 maxEntryBytes = 1024 * 1024;

Error notInstalled()
{
    return Error(localized("Vell Shell is not installed. Install it to open the tunnels."), {},
                 vellShellNotInstalledCode);
}

void addItem(QByteArray &query, const char *key, const std::optional<QString> &value)
{
    if (!value || value->isEmpty())
        return;
    if (!query.isEmpty())
        query += '&';
    query += key;
    query += '=';
    query += QUrl::toPercentEncoding(*value);
}

// The arguments of an Exec value: blanks separate them; inside double quotes, a backslash
// keeps the next of " ` $ \ literal.
std::optional<QStringList> splitExec(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'"')
                quoted = false;
            else if (c == u'\\' && i + 1 < exec.size())
                current += exec[++i];
            else
                current += c;
        } else if (c == u' ' || c == u'\t') {
            if (inArgument)
                arguments.append(std::exchange(current, {}));
            inArgument = false;
        } else {
            inArgument = true;
            if (c == u'"')
                quoted = true;
            else
                current += c;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments.append(current);
    return arguments;
}

// The argument with its field codes expanded; the list of URLs when it is one of theirs.
QStringList expandArgument(const QString &argument, const QStringList &urls, bool &tookUrls)
{
    if (argument == u"%U"_s || argument == u"%F"_s) {
        tookUrls = true;
        return urls;
    }
    if (argument == u"%i"_s || argument == u"%c"_s || argument == u"%k"_s)
        return {};
    QString expanded;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        if (argument[i] != u'%' || i + 1 == argument.size()) {
            expanded += argument[i];
            continue;
        }
        const QChar code = argument[++i];
        if (code == u'%') {
            expanded += u'%';
        } else if (code == u'u' || code == u'f') {
            tookUrls = true;
            expanded += urls.value(0);
        }
    }
    return {expanded};
}

QStringList expand(const QStringList &arguments, const QStringList &urls, bool &tookUrls)
{
    QStringList line;
    for (const QString &argument : arguments)
        line += expandArgument(argument, urls, tookUrls);
    return line;
}

bool takesList(const QStringList &arguments)
{
    return arguments.contains(u"%U"_s) || arguments.contains(u"%F"_s);
}

// A value's escapes (\s, \n, \t, \r, \\) undone; any other backslash is left for the Exec
// quoting to read.
QString unescapedValue(const QString &value)
{
    static const QHash<QChar, QChar> escapes{
        {u's', u' '}, {u'n', u'\n'}, {u't', u'\t'}, {u'r', u'\r'}, {u'\\', u'\\'}};
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size() && escapes.contains(value[i + 1]))
            unescaped += escapes.value(value[++i]);
        else
            unescaped += value[i];
    }
    return unescaped;
}

// One batch per run: all URLs for an entry that takes a list, else one URL each.
QList<QStringList> batchesFor(const QStringList &arguments, const QStringList &urls)
{
    if (takesList(arguments))
        return {urls};
    QList<QStringList> each;
    for (const QString &url : urls)
        each.append({url});
    return each;
}

} // namespace

QUrl VellShellOpener::profileURL(const Profile &profile)
{
    QByteArray query;
    addItem(query, "uuid", profile.scriptUUID());
    addItem(query, "name", profile.name());
    addItem(query, "host", profile.address());
    addItem(query, "port",
            profile.port() > 0 ? std::optional(QString::number(profile.port())) : std::nullopt);
    addItem(query, "user", profile.user());
    return QUrl::fromEncoded("vellssh://localhost/open?" + query, QUrl::StrictMode);
}

std::optional<QList<QStringList>> VellShellOpener::commandLines(const QString &exec,
                                                                const QStringList &urls)
{
    const auto arguments = splitExec(exec);
    if (!arguments || arguments->isEmpty() || arguments->first().contains(u'%'))
        return std::nullopt;
    if (urls.isEmpty())
        return QList<QStringList>{};
    QList<QStringList> lines;
    for (const QStringList &batch : batchesFor(*arguments, urls)) {
        bool tookUrls = false;
        QStringList line = expand(*arguments, batch, tookUrls);
        if (!tookUrls)
            line += batch;
        lines.append(line);
    }
    return lines;
}

std::optional<QString> VellShellOpener::execValue(const QByteArray &desktopEntry)
{
    bool inEntry = false;
    for (const QByteArray &raw : desktopEntry.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]"_s;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inEntry || equals < 0 || line.left(equals).trimmed() != u"Exec"_s)
            continue;
        return unescapedValue(line.mid(equals + 1).trimmed());
    }
    return std::nullopt;
}

std::optional<QString> VellShellOpener::handlerId()
{
    QProcess query;
    query.start(u"xdg-mime"_s, {u"query"_s, u"default"_s, schemeHandler});
    if (!query.waitForFinished(queryTimeoutMs)) {
        query.kill();
        query.waitForFinished();
        return std::nullopt;
    }
    const QString id =
        QString::fromUtf8(query.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0 || id.isEmpty())
        return std::nullopt;
    return id;
}

std::optional<QString> VellShellOpener::entryPath(const QString &id)
{
    // "vendor-app.desktop" may also live as "vendor/app.desktop".
    QStringList names{id};
    if (id.contains(u'-'))
        names.append(QString(id).replace(id.indexOf(u'-'), 1, u'/'));
    for (const QString &folder :
         QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        for (const QString &name : names) {
            if (QFileInfo(folder + u'/' + name).isFile())
                return folder + u'/' + name;
        }
    }
    return std::nullopt;
}

Status VellShellOpener::open(const QList<Profile *> &profiles)
{
    const auto id = handlerId();
    const auto path = id ? entryPath(*id) : std::nullopt;
    if (!path)
        return notInstalled();
    const auto entry = readRegularFile(*path, maxEntryBytes, Links::follow);
    const auto exec = entry ? execValue(*entry) : std::nullopt;
    QStringList urls;
    for (const Profile *profile : profiles)
        urls.append(profileURL(*profile).toString(QUrl::FullyEncoded));
    const auto lines = exec ? commandLines(*exec, urls) : std::nullopt;
    if (!lines)
        return notInstalled();
    for (const QStringList &line : *lines) {
        if (!QProcess::startDetached(line.first(), line.mid(1)))
            return Error(localized("Vell Shell could not be started (%1).").arg(line.first()));
    }
    return std::nullopt;
}
