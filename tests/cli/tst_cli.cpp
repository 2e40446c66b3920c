#include "historytokenstore.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "programrun.h"
#include "testenvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QUuid>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

using Run = ProgramRun;

Run cli(const QStringList &args, const QByteArray &input = {})
{
    return runProgram(QStringLiteral(VELLSSH_CLI), args, input);
}

QJsonValue json(const QString &text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

QStringList names(const QString &listing)
{
    QStringList result;
    for (const QString &line : listing.split(u'\n', Qt::SkipEmptyParts))
        result.append(line.mid(2).section(u'\t', 0, 0));
    return result;
}

// Runs the command line in as many processes at once, and gives their exit codes.
QList<int> inParallel(const QList<QStringList> &runs)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList &args : runs) {
        auto &process = processes.emplace_back(std::make_unique<QProcess>());
        process->setStandardInputFile(QProcess::nullDevice());
        process->start(QStringLiteral(VELLSSH_CLI), args);
    }
    QList<int> codes;
    for (auto &process : processes) {
        const bool finished = process->waitForFinished(60000);
        if (!finished || process->exitCode() != 0)
            qWarning("%s", process->readAllStandardError().constData());
        codes.append(finished ? process->exitCode() : -1);
    }
    return codes;
}

Run second(const QStringList &args)
{
    return runProgramAsSecondDevice(QStringLiteral(VELLSSH_CLI), args);
}

// Adds a profile with the name, a placeholder host and user, and the further flags.
Run add(const QString &name, const QStringList &flags = {})
{
    return cli(QStringList{u"add"_s, u"--name"_s, name, u"--host"_s, u"h"_s, u"--user"_s, u"u"_s} +
               flags);
}

QJsonObject shownJson(const QString &profile)
{
    return json(cli({u"show"_s, profile, u"--json"_s}).out).toObject();
}

QString writeFile(const QString &name, const QByteArray &content)
{
    const QString path = QDir::tempPath() + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The record of the profile as an export of it alone writes it.
QJsonObject exportedRecord(const QString &profile)
{
    const QString path = QDir::tempPath() + u'/' + profile + u".velltunnel"_s;
    if (cli({u"export"_s, profile, u"-o"_s, path}).code != 0)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll())[u"profiles"_s][0].toObject();
}

// An empty folder at the path, made again if a previous run left one.
QString emptyFolder(const QString &name)
{
    const QString path = QDir::tempPath() + u'/' + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

void syncBoth()
{
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(cli({u"sync"_s, u"now"_s}).code, 0);
        QCOMPARE(second({u"sync"_s, u"now"_s}).code, 0);
    }
}

// What bash completes for the words, the last one being completed, with the completion
// script loaded as a shell loads it; the first line is how the script registered itself.
QStringList bashCompletions(const QStringList &words)
{
    const QString script = uR"(PATH="$1:$PATH"; source "$2"; shift 2
complete -p vellssh-cli
COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
_vellssh_cli
printf '%s\n' "${COMPREPLY[@]}")"_s;
    const Run run = runProgram(u"bash"_s, QStringList{u"-c"_s, script, u"bash"_s,
                                                      QFileInfo(QStringLiteral(VELLSSH_CLI)).path(),
                                                      QStringLiteral(VELLSSH_BASH_COMPLETION),
                                                      u"vellssh-cli"_s} +
                                              words);
    return run.out.split(u'\n', Qt::SkipEmptyParts);
}

class MemoryTokens : public HistoryTokenStore
{
public:
    std::optional<qint64> lastToken() const override { return token; }
    void setLastToken(qint64 value) override { token = value; }
    std::optional<qint64> token;
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    const QStringList m_db = {u"add"_s,
                              u"--name"_s,
                              u"db"_s,
                              u"--host"_s,
                              u"192.0.2.10"_s,
                              u"--port"_s,
                              u"2222"_s,
                              u"--user"_s,
                              u"deploy"_s,
                              u"--identity"_s,
                              u"id_ed25519"_s,
                              u"-L"_s,
                              u"8080:10.0.0.5:80"_s,
                              u"-R"_s,
                              u"9000:localhost:3000"_s,
                              u"-D"_s,
                              u"127.0.0.1:1080"_s,
                              u"-R"_s,
                              u"1081"_s,
                              u"--option"_s,
                              u"Compression=yes"_s,
                              u"--tag"_s,
                              u"prod"_s,
                              u"--note"_s,
                              u"primary database"_s};

private Q_SLOTS:
    void cleanup()
    {
        QFile::remove(PersistenceController::defaultStorePath());
        QFile::remove(PersistenceController::defaultStorePath() + u"-wal"_s);
        QFile::remove(PersistenceController::defaultStorePath() + u"-shm"_s);
    }

    void addShowAndCommand()
    {
        const Run added = cli(m_db);
        QCOMPARE(added.code, 0);
        QVERIFY(!QUuid(added.out.trimmed()).isNull());

        const QString key = QDir::homePath() + u"/.ssh/id_ed25519"_s;
        const QString words = u"-N -C -i "_s + key +
                              u" -L 8080:10.0.0.5:80 -R 9000:localhost:3000 -D 127.0.0.1:1080 "
                              "-R 1081 -o ExitOnForwardFailure=yes -o ServerAliveCountMax=3 "
                              "-o ServerAliveInterval=15 -p 2222 deploy@192.0.2.10"_s;
        QCOMPARE(cli({u"command"_s, u"db"_s}).out, u"ssh "_s + words + u'\n');
        QCOMPARE(cli({u"command"_s, u"db"_s, u"--args"_s}).out,
                 words.split(u' ').join(u'\n') + u'\n');

        const QJsonObject profile = shownJson(u"db"_s);
        QCOMPARE(profile.value(u"uuid"_s).toString(), added.out.trimmed());
        QCOMPARE(profile.value(u"port"_s).toInt(), 2222);
        QCOMPARE(profile.value(u"autoConnect"_s), QJsonValue(false));
        QCOMPARE(profile.value(u"note"_s).toString(), u"primary database"_s);
        QVERIFY(!profile.contains(u"certificateName"_s));
        const QJsonArray forwardings = profile.value(u"forwardings"_s).toArray();
        QCOMPARE(forwardings.size(), 4);
        QCOMPARE(forwardings[1].toObject().value(u"type"_s).toString(), u"remote"_s);
        QCOMPARE(forwardings[3].toObject().value(u"type"_s).toString(), u"reverseDynamic"_s);
        QCOMPARE(forwardings[3].toObject().value(u"priority"_s).toInt(), 3);
        QVERIFY(!forwardings[2].toObject().contains(u"targetPort"_s));
        QCOMPARE(profile.value(u"tags"_s).toArray()[0].toObject().value(u"name"_s).toString(),
                 u"prod"_s);

        const Run shown = cli({u"show"_s, added.out.trimmed().toLower()});
        QCOMPARE(shown.code, 0);
        QVERIFY(shown.out.contains(u"Reverse Dynamic Port Forwarding: -R 1081"_s));

        const Run taken = cli(m_db);
        QCOMPARE(taken.code, 1);
        QVERIFY(taken.err.contains(u"The name “db” is already taken"_s));
    }

    void listingsSelectAndSearch()
    {
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(add(u"web"_s, {u"--pin"_s}).code, 0);
        QCOMPARE(names(cli({u"list"_s}).out), (QStringList{u"web"_s, u"db"_s}));
        QCOMPARE(names(cli({u"list"_s, u"--tag"_s, u"prod"_s}).out), QStringList{u"db"_s});
        QCOMPARE(names(cli({u"list"_s, u"--untagged"_s}).out), QStringList{u"web"_s});
        QCOMPARE(names(cli({u"list"_s, u"--search"_s, u"PRIMARY 10.0.0.5"_s}).out),
                 QStringList{u"db"_s});
        QCOMPARE(json(cli({u"list"_s, u"--json"_s}).out).toArray().size(), 2);
        QCOMPARE(cli({u"list"_s, u"--tag"_s, u"nope"_s}).code, 1);
        QCOMPARE(cli({u"show"_s, u"nobody"_s}).code, 1);
    }

    void listingsForScripts()
    {
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(add(u"web"_s, {u"--pin"_s}).code, 0);
        QCOMPARE(cli({u"list"_s, u"--names"_s}).out, u"web\ndb\n"_s);
        // Without a running application no profile has a state.
        const QJsonArray listed = json(cli({u"list"_s, u"--json"_s}).out).toArray();
        QCOMPARE(listed.size(), 2);
        QCOMPARE(listed[0][u"name"_s].toString(), u"web"_s);
        QCOMPARE(listed[0][u"pinned"_s], QJsonValue(true));
        QCOMPARE(listed[1][u"pinned"_s], QJsonValue(false));
        QCOMPARE(listed[1][u"state"_s], QJsonValue(u""_s));

        // The export document goes to standard output, and nothing else does.
        const Run exported = cli({u"export"_s, u"db"_s, u"-o"_s, u"-"_s});
        QCOMPARE(exported.code, 0);
        const QJsonObject document = json(exported.out).toObject();
        QCOMPARE(document[u"profiles"_s].toArray().size(), 1);
        QCOMPARE(document[u"profiles"_s][0][u"name"_s].toString(), u"db"_s);
        QVERIFY(!QFile::exists(u"-"_s));
    }

    // Blanks around a name are dropped as the store drops them; a control character, which no
    // stored name holds, is refused before anything is looked up or written.
    void namesAreTrimmedAndControlCharactersRefused()
    {
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(names(cli({u"list"_s, u"--tag"_s, u" prod "_s}).out), QStringList{u"db"_s});
        QCOMPARE(cli({u"show"_s, u" db\u00a0"_s}).code, 0);
        QCOMPARE(cli({u"tag"_s, u"create"_s, u" staging "_s}).code, 0);
        QCOMPARE(cli({u"tag"_s, u"add"_s, u"staging  "_s, u"  db"_s}).code, 0);
        QCOMPARE(add(u"web"_s, {u"--tag"_s, u"staging "_s}).code, 0);
        QCOMPARE(cli({u"tag"_s, u"list"_s}).out, u"prod\t1\nstaging\t2\n"_s);

        const QList<QStringList> runs = {
            {u"show"_s, u"db\n"_s},
            {u"list"_s, u"--tag"_s, u"prod\t"_s},
            {u"tag"_s, u"create"_s, u"new\x01line"_s},
            {u"tag"_s, u"rename"_s, u"prod"_s, u"pr\u0085od"_s},
            {u"pin"_s, u"db"_s, u"w\x7f"_s},
            {u"add"_s, u"--name"_s, u"n\rm"_s, u"--host"_s, u"h"_s, u"--user"_s, u"u"_s},
            {u"edit"_s, u"db"_s, u"--tag"_s, u"a\nb"_s},
            {u"export"_s, u"d\x1b"_s, u"-o"_s, u"-"_s},
            {u"connect"_s, u"--tag"_s, u"p\nrod"_s},
        };
        for (const QStringList &run : runs) {
            const Run refused = cli(run);
            QCOMPARE(refused.code, 1);
            QVERIFY2(refused.err.startsWith(u"The name “"_s) &&
                         refused.err.endsWith(u"” contains a control character.\n"_s),
                     qPrintable(refused.err));
        }
        QVERIFY(cli({u"show"_s, u"db\n"_s}).err.contains(u"“db\\n”"_s));
        QVERIFY(cli({u"pin"_s, u"w\u0085"_s}).err.contains(u"“w\\x85”"_s));
        QCOMPARE(cli({u"tag"_s, u"list"_s}).out, u"prod\t1\nstaging\t2\n"_s);
        QCOMPARE(cli({u"list"_s, u"--names"_s}).out, u"db\nweb\n"_s);
    }

    void bashCompletesCommandsOptionsAndNames()
    {
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(add(u"my web"_s).code, 0);
        const QStringList verbs = bashCompletions({u"re"_s});
        QCOMPARE(verbs.first(), u"complete -F _vellssh_cli vellssh-cli"_s);
        QCOMPARE(verbs.mid(1), (QStringList{u"recover"_s, u"reconnect"_s}));
        QCOMPARE(bashCompletions({u"list"_s, u"--t"_s}).mid(1),
                 (QStringList{u"--tag"_s, u"--trash"_s}));
        QCOMPARE(bashCompletions({u"connect"_s, u"--tag"_s, u""_s}).mid(1), QStringList{u"prod"_s});
        QCOMPARE(bashCompletions({u"show"_s, u""_s}).mid(1), (QStringList{u"db"_s, u"my\\ web"_s}));
        QCOMPARE(bashCompletions({u"tag"_s, u"add"_s, u"prod"_s, u"m"_s}).mid(1),
                 QStringList{u"my\\ web"_s});
        QCOMPARE(bashCompletions({u"add"_s, u"--port"_s, u""_s}).mid(1), QStringList());
        QCOMPARE(bashCompletions({u"help"_s, u"st"_s}).mid(1), QStringList{u"status"_s});
        QCOMPARE(bashCompletions({u"settings"_s, u"set"_s, u"app_icon_mode"_s, u""_s}).mid(1),
                 (QStringList{u"dock"_s, u"menuBar"_s, u"both"_s}));
        QCOMPARE(bashCompletions({u"settings"_s, u"set"_s, u"icloud_sync"_s, u"f"_s}).mid(1),
                 QStringList{u"false"_s});
    }

    void misusedCommandsExitWithTwo_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("help");
        QTest::newRow("no command") << QStringList{} << u"No command given."_s << QString();
        QTest::newRow("unknown command")
            << QStringList{u"frobnicate"_s} << u"Unknown command “frobnicate”."_s << QString();
        QTest::newRow("unknown option first")
            << QStringList{u"--frob"_s} << u"Unknown option “--frob”."_s << QString();
        QTest::newRow("version with an argument") << QStringList{u"--version"_s, u"list"_s}
                                                  << u"--version takes no argument."_s << QString();
        QTest::newRow("help on no command")
            << QStringList{u"help"_s, u"frob"_s} << u"Unknown command “frob”."_s << QString();
        QTest::newRow("unknown flag")
            << QStringList{u"add"_s, u"--bogus"_s} << u"Unknown option “--bogus”."_s << u"add"_s;
        QTest::newRow("missing value")
            << QStringList{u"list"_s, u"--tag"_s} << u"--tag needs a value."_s << u"list"_s;
        QTest::newRow("missing profile")
            << QStringList{u"show"_s} << u"show takes one PROFILE."_s << u"show"_s;
        QTest::newRow("port not a number")
            << QStringList{u"add"_s, u"--name"_s, u"x"_s, u"--port"_s, u"http"_s}
            << u"--port needs a number from 1 to 65535, not “http”."_s << u"add"_s;
        QTest::newRow("trash and untagged")
            << QStringList{u"list"_s, u"--trash"_s, u"--untagged"_s}
            << u"list takes one of --tag, --untagged and --trash."_s << u"list"_s;
        QTest::newRow("unknown tag command") << QStringList{u"tag"_s, u"frob"_s}
                                             << u"Unknown or incomplete tag command."_s << u"tag"_s;
        QTest::newRow("export without a file")
            << QStringList{u"export"_s, u"db"_s}
            << u"export takes PROFILE... or --all, and -o FILE."_s << u"export"_s;
        QTest::newRow("setting not a boolean")
            << QStringList{u"settings"_s, u"set"_s, u"launch_at_login"_s, u"sometimes"_s}
            << QString() << u"settings"_s;
        QTest::newRow("device id")
            << QStringList{u"settings"_s, u"set"_s, u"sync_device_id"_s, u"mine"_s}
            << u"sync_device_id is read-only: it is made once for this device."_s << u"settings"_s;
        QTest::newRow("standard input without a policy")
            << QStringList{u"import"_s, u"-"_s}
            << u"import - reads the profiles from standard input, so it needs --replace or "
               "--skip."_s
            << u"import"_s;
        QTest::newRow("unknown setting") << QStringList{u"settings"_s, u"get"_s, u"nope"_s}
                                         << u"Unknown setting “nope”."_s << u"settings"_s;
        QTest::newRow("backup without a sub-command")
            << QStringList{u"backup"_s} << u"backup takes folder [PATH | --off], now or list."_s
            << u"backup"_s;
        // Misuse is told before the missing application is.
        QTest::newRow("connect with an unknown flag")
            << QStringList{u"connect"_s, u"--bogus"_s} << u"Unknown option “--bogus”."_s
            << u"connect"_s;
        QTest::newRow("connect without a selection")
            << QStringList{u"disconnect"_s}
            << u"disconnect takes PROFILE..., --tag NAME or --all."_s << u"disconnect"_s;
        QTest::newRow("status and json while watching")
            << QStringList{u"status"_s, u"--json"_s, u"--watch"_s}
            << u"status takes one of --json and --watch."_s << u"status"_s;
    }
    // One line names the problem, one tells where to read the usage.
    void misusedCommandsExitWithTwo()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, problem);
        QFETCH(QString, help);
        QCOMPARE(cli(m_db).code, 0);
        const Run misused = cli(args);
        QCOMPARE(misused.code, 2);
        QCOMPARE(misused.out, QString());
        const QStringList lines = misused.err.split(u'\n');
        QCOMPARE(lines.size(), 3);
        if (!problem.isEmpty())
            QCOMPARE(lines[0], problem);
        QCOMPARE(lines[1],
                 u"Try 'vellssh-cli help"_s + (help.isEmpty() ? QString() : u' ' + help) + u"'."_s);
        QCOMPARE(lines[2], QString());
    }

    void helpTellsEveryCommandAndItsOptions()
    {
        const Run overview = cli({u"help"_s});
        QCOMPARE(overview.code, 0);
        QVERIFY(overview.out.startsWith(u"Usage: vellssh-cli COMMAND [ARGUMENTS]\n"_s));
        for (const QString &verb :
             {u"list"_s,       u"show"_s,      u"add"_s,    u"edit"_s,   u"command"_s, u"trash"_s,
              u"recover"_s,    u"duplicate"_s, u"pin"_s,    u"unpin"_s,  u"delete"_s,  u"tag"_s,
              u"settings"_s,   u"export"_s,    u"import"_s, u"backup"_s, u"sync"_s,    u"connect"_s,
              u"disconnect"_s, u"reconnect"_s, u"status"_s, u"log"_s,    u"open"_s,    u"help"_s}) {
            QVERIFY2(QRegularExpression(u"\n  "_s + verb + u" +\\S[^\n]*\n"_s)
                         .match(overview.out)
                         .hasMatch(),
                     qPrintable(verb));
            const Run help = cli({u"help"_s, verb});
            QCOMPARE(help.code, 0);
            QVERIFY2(help.out.startsWith(u"Usage: vellssh-cli "_s + verb), qPrintable(help.out));
        }
        QCOMPARE(cli({u"--help"_s}).out, overview.out);
        QCOMPARE(cli({u"-h"_s}).out, overview.out);

        const Run connect = cli({u"help"_s, u"connect"_s});
        QVERIFY(connect.out.contains(u"\nOptions:\n"_s));
        QVERIFY(QRegularExpression(u"\n  --no-wait +\\S"_s).match(connect.out).hasMatch());
        // A verb's --help needs neither the store nor a running application, and wins over
        // what else is wrong on the line.
        QCOMPARE(cli({u"connect"_s, u"--help"_s}).out, connect.out);
        QCOMPARE(cli({u"connect"_s, u"--bogus"_s, u"-h"_s}).code, 0);
        QVERIFY(!QFile::exists(PersistenceController::defaultStorePath()));
        const QString add = cli({u"add"_s, u"--help"_s}).out;
        QVERIFY(QRegularExpression(u"\n +\\[--identity FILE\\]"_s).match(add).hasMatch());

        const Run version = cli({u"--version"_s});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, u"vellssh-cli "_s + QStringLiteral(VELLSSH_VERSION) + u'\n');
    }

    void badFieldsAreRefusedAndWriteNothing_data()
    {
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no user") << QStringList{u"--user"_s, u""_s}
                                 << u"Username is required.\nPlease check and fill in the fields "
                                    "marked in red."_s;
        QTest::newRow("forwarding without a port")
            << QStringList{u"--tag"_s, u"new"_s, u"-L"_s, u"8080:nowhere"_s}
            << u"Invalid forwarding “8080:nowhere”"_s;
        QTest::newRow("dynamic port 0")
            << QStringList{u"-D"_s, u"0"_s} << u"Invalid port forwarding values"_s;
        QTest::newRow("user read as an option")
            << QStringList{u"--user"_s, u"-oProxyCommand=touch /tmp/owned"_s}
            << u"The user starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("host read as an option")
            << QStringList{u"--host"_s, u"-oProxyCommand=x"_s}
            << u"The host starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("bind address read as an option")
            << QStringList{u"-L"_s, u"-oProxyCommand=x:1:h:2"_s}
            << u"Invalid forwarding “-oProxyCommand=x:1:h:2”: the bind address starts with “-”, "
               "which ssh would read as an option."_s;
        QTest::newRow("target address read as an option")
            << QStringList{u"-R"_s, u"9000:-oX:22"_s}
            << u"Invalid forwarding “9000:-oX:22”: the target address starts with “-”, which "
               "ssh would read as an option."_s;
        QTest::newRow("jump host read as an option")
            << QStringList{u"--option"_s, u"ProxyJump=-oProxyCommand=x"_s}
            << u"The jump host starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("identity read as an option")
            << QStringList{u"--identity"_s, u"-oX"_s}
            << u"The identity name starts with “-”, which ssh would read as an option."_s;
        QTest::newRow("newline in the host") << QStringList{u"--host"_s, u"h\nProxyCommand x"_s}
                                             << u"The host contains a control character."_s;
        QTest::newRow("newline in an option value")
            << QStringList{u"--option"_s, u"User=me\nProxyCommand x"_s}
            << u"The option “User” contains a control character."_s;
        QTest::newRow("name too long") << QStringList{u"--name"_s, QString(1025, u'n')}
                                       << u"The name is longer than 1,024 characters."_s;
    }
    void badFieldsAreRefusedAndWriteNothing()
    {
        QFETCH(QStringList, flags);
        QFETCH(QString, reason);
        const Run refused = add(u"x"_s, flags);
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.contains(reason), qPrintable(refused.err));
        QCOMPARE(cli({u"list"_s}).out, QString());
        QCOMPARE(cli({u"tag"_s, u"list"_s}).out, QString());
    }

    void editAppendsAndRemoves()
    {
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(cli({u"edit"_s, u"db"_s, u"-D"_s, u"1090"_s, u"--option"_s, u"Compression="_s,
                      u"--option"_s, u"ConnectTimeout=5"_s, u"--name"_s, u"db2"_s})
                     .code,
                 0);
        const QJsonObject profile = shownJson(u"db2"_s);
        const QJsonArray forwardings = profile.value(u"forwardings"_s).toArray();
        QCOMPARE(forwardings.size(), 5);
        QCOMPARE(forwardings[4].toObject().value(u"priority"_s).toInt(), 4);
        QCOMPARE(forwardings[4].toObject().value(u"bindPort"_s).toInt(), 1090);
        const QJsonObject options = profile.value(u"options"_s).toObject();
        QVERIFY(!options.contains(u"Compression"_s));
        QCOMPARE(options.value(u"ConnectTimeout"_s).toString(), u"5"_s);

        QCOMPARE(cli({u"edit"_s, u"db2"_s, u"--clear-forwardings"_s, u"-L"_s, u"1:h:2"_s}).code, 0);
        QCOMPARE(shownJson(u"db2"_s).value(u"forwardings"_s).toArray().size(), 1);
        QCOMPARE(cli({u"edit"_s, u"db2"_s, u"--user"_s, u""_s}).code, 1);
        const Run typo = cli({u"edit"_s, u"db2"_s, u"--option"_s, u"ConectTimeout=5"_s});
        QCOMPARE(typo.code, 0);
        QVERIFY(typo.err.contains(u"“ConectTimeout” is kept, but it is not an option"_s));
    }

    void trashRecoverDuplicateDelete()
    {
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(cli({u"duplicate"_s, u"db"_s}).out, u"db Copy\n"_s);
        QCOMPARE(cli({u"pin"_s, u"db Copy"_s}).code, 0);
        QCOMPARE(names(cli({u"list"_s}).out), (QStringList{u"db Copy"_s, u"db"_s}));
        QCOMPARE(cli({u"trash"_s, u"db"_s}).code, 0);
        QCOMPARE(names(cli({u"list"_s, u"--trash"_s}).out), QStringList{u"db"_s});

        // A trashed profile does not hold its name; now "db" names two profiles.
        QCOMPARE(add(u"db"_s).code, 0);
        const Run ambiguous = cli({u"show"_s, u"db"_s});
        QCOMPARE(ambiguous.code, 1);
        QCOMPARE(ambiguous.err.count(u"  "_s), 4);
        QCOMPARE(cli({u"trash"_s, u"db"_s}).code, 0);
        QCOMPARE(cli({u"recover"_s, u"db"_s}).code, 1);
        // A profile recovered while a live one holds its name gets a number; both stay editable.
        const QString older = json(cli({u"list"_s, u"--trash"_s, u"--json"_s}).out)
                                  .toArray()[0]
                                  .toObject()
                                  .value(u"uuid"_s)
                                  .toString();
        QCOMPARE(add(u"DB"_s).code, 0);
        QCOMPARE(cli({u"recover"_s, older}).out,
                 u"“db” was recovered as “db 2”: the name is taken.\n"_s);
        QCOMPARE(cli({u"edit"_s, older, u"--note"_s, u"editable"_s}).code, 0);
        QCOMPARE(cli({u"edit"_s, u"DB"_s, u"--note"_s, u"editable"_s}).code, 0);
        QCOMPARE(shownJson(older).value(u"name"_s), QJsonValue(u"db 2"_s));
        QCOMPARE(cli({u"trash"_s, older, u"DB"_s}).code, 0);

        const Run refused = cli({u"delete"_s, u"db Copy"_s}, "n\n");
        QCOMPARE(refused.code, 1);
        QVERIFY(refused.out.contains(u"You cannot undo this action."_s));
        QCOMPARE(cli({u"delete"_s, u"db Copy"_s}, "y\n").code, 0);
        QCOMPARE(cli({u"list"_s}).out, QString());
        const QJsonArray trashed = json(cli({u"list"_s, u"--trash"_s, u"--json"_s}).out).toArray();
        QCOMPARE(trashed.size(), 3);
        QStringList uuids;
        for (const QJsonValue &p : trashed)
            uuids.append(p.toObject().value(u"uuid"_s).toString());
        QCOMPARE(cli(QStringList{u"delete"_s, u"--yes"_s} + uuids).code, 0);
        QCOMPARE(cli({u"list"_s, u"--trash"_s}).out, QString());
    }

    void tags()
    {
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(cli({u"tag"_s, u"create"_s, u"staging"_s}).code, 0);
        const Run conflict = cli({u"tag"_s, u"rename"_s, u"staging"_s, u"prod"_s});
        QCOMPARE(conflict.code, 1);
        QVERIFY(conflict.err.contains(u"Tag name conflict"_s));
        QCOMPARE(cli({u"tag"_s, u"create"_s, u""_s}).err.contains(u"Tag names can't be blank."_s),
                 true);
        QCOMPARE(cli({u"tag"_s, u"add"_s, u"staging"_s, u"db"_s}).code, 0);
        QCOMPARE(cli({u"tag"_s, u"list"_s}).out, u"prod\t1\nstaging\t1\n"_s);
        QCOMPARE(cli({u"tag"_s, u"remove"_s, u"prod"_s, u"db"_s}).code, 0);
        QCOMPARE(cli({u"tag"_s, u"rename"_s, u"staging"_s, u"Staging"_s}).code, 0);
        QCOMPARE(cli({u"tag"_s, u"delete"_s, u"prod"_s}).code, 0);
        QCOMPARE(cli({u"tag"_s, u"list"_s}).out, u"Staging\t1\n"_s);
    }

    // Writers that overlap keep every change: tags and options added to one profile, and a tag
    // name that each of them creates, which stays one tag.
    void parallelWritersLoseNothing()
    {
        QCOMPARE(add(u"p"_s).code, 0);
        QList<QStringList> runs;
        for (int i = 0; i < 10; ++i) {
            runs.append({u"edit"_s, u"p"_s, u"--tag"_s, u"t%1"_s.arg(i), u"--option"_s,
                         u"Key%1=v%1"_s.arg(i)});
            runs.append({u"add"_s, u"--name"_s, u"n%1"_s.arg(i), u"--host"_s, u"h"_s, u"--user"_s,
                         u"u"_s, u"--tag"_s, u"shared"_s});
        }
        QCOMPARE(inParallel(runs), QList<int>(20, 0));
        QStringList tags;
        for (int i = 0; i < 10; ++i)
            tags.append(u"t%1"_s.arg(i));
        const QString shown = cli({u"show"_s, u"p"_s}).out;
        QVERIFY2(shown.contains(u"Tags: "_s + tags.join(u", "_s) + u'\n'), qPrintable(shown));
        const QJsonObject options = shownJson(u"p"_s)[u"options"_s].toObject();
        for (int i = 0; i < 10; ++i)
            QCOMPARE(options.value(u"Key%1"_s.arg(i)).toString(), u"v%1"_s.arg(i));
        QCOMPARE(options.value(u"ServerAliveInterval"_s).toString(), u"15"_s);
        const QString tagList = cli({u"tag"_s, u"list"_s}).out;
        QCOMPARE(tagList.count(u"shared\t10\n"_s), 1);
        QCOMPARE(tagList.count(u'\n'), 11);
    }

    void aDamagedSettingsFileIsKeptAside()
    {
        const QString settingsPath =
            qEnvironmentVariable("XDG_CONFIG_HOME") + u"/VellSSH/VellSSH.conf"_s;
        QVERIFY(QDir().mkpath(QFileInfo(settingsPath).absolutePath()));
        const QByteArray damaged("[General\nuser_config_file_path=~/mine\n");
        {
            QFile file(settingsPath);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(damaged);
        }
        const Run run = cli({u"settings"_s, u"set"_s, u"launch_at_login"_s, u"true"_s});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.contains(settingsPath) && run.err.contains(u".damaged-"_s),
                 qPrintable(run.err));
        const QStringList aside =
            QDir(QFileInfo(settingsPath).absolutePath()).entryList({u"VellSSH.conf.damaged-*"_s});
        QCOMPARE(aside.size(), 1);
        QFile kept(QFileInfo(settingsPath).absolutePath() + u'/' + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);
        QCOMPARE(cli({u"settings"_s, u"get"_s, u"launch_at_login"_s}).out, u"true\n"_s);
        QCOMPARE(QFile::permissions(settingsPath) & 0x0077, QFileDevice::Permissions());
        QVERIFY(QFile::remove(kept.fileName()));
    }

    // A settings folder on a full file system: the write fails, is said, and exits non-zero.
    void aSettingsWriteOnAFullDiskFails()
    {
        if (getuid() != 0 || QProcess::execute(u"unshare"_s, {u"-m"_s, u"true"_s}) != 0)
            QSKIP("needs a private mount namespace to mount a small file system");
        const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/VellSSH"_s;
        QVERIFY(QDir().mkpath(folder));
        const QString script = u"mount -t tmpfs -o size=64k tmpfs \"$1\" && "
                               "dd if=/dev/zero of=\"$1/fill\" bs=4k 2>/dev/null; "
                               "exec \"$2\" settings set user_config_file_path /somewhere"_s;
        QProcess run;
        run.start(u"unshare"_s, {u"-m"_s, u"--propagation"_s, u"private"_s, u"sh"_s, u"-c"_s,
                                 script, u"sh"_s, folder, QStringLiteral(VELLSSH_CLI)});
        QVERIFY(run.waitForFinished(60000));
        const QString err = QString::fromUtf8(run.readAllStandardError());
        QCOMPARE(run.exitCode(), 1);
        QVERIFY2(err.contains(u"user_config_file_path"_s) && err.contains(folder) &&
                     err.contains(u"No space left on device"_s),
                 qPrintable(err));
    }

    void settings()
    {
        QCOMPARE(cli({u"settings"_s, u"get"_s, u"app_icon_mode"_s}).out, u"dock\n"_s);
        QCOMPARE(cli({u"settings"_s, u"set"_s, u"user_config_file_path"_s, u"~/cfg"_s}).code, 0);
        QVERIFY(cli({u"settings"_s}).out.contains(u"user_config_file_path = ~/cfg\n"_s));
        QCOMPARE(add(u"a"_s).code, 0);
        QCOMPARE(cli({u"command"_s, u"a"_s}).out,
                 u"ssh -N -F "_s + QDir::homePath() +
                     u"/cfg -o ExitOnForwardFailure=yes -o ServerAliveCountMax=3 -o "
                     "ServerAliveInterval=15 u@h\n"_s);
        QCOMPARE(cli({u"settings"_s, u"set"_s, u"user_config_file_path"_s, u""_s}).code, 0);

        // Every key the settings show is explained, with its values and default.
        const QString help = cli({u"help"_s, u"settings"_s}).out;
        for (const QString &line : cli({u"settings"_s}).out.split(u'\n', Qt::SkipEmptyParts)) {
            const QString key = line.section(u" = "_s, 0, 0);
            QVERIFY2(QRegularExpression(u"\n  "_s + key + u" +\\S"_s).match(help).hasMatch(),
                     qPrintable(key));
        }
        QVERIFY(help.contains(u"dock, menuBar or both (default dock)"_s));
        QVERIFY(help.contains(u"\"enabled\": true}]"_s));
    }

    void exportAndImportAskPerConflict()
    {
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(add(u"web"_s).code, 0);
        const QString file = QDir::tempPath() + u"/library.velltunnel"_s;
        const Run exported = cli({u"export"_s, u"--all"_s, u"-o"_s, file});
        QCOMPARE(exported.code, 0);
        QCOMPARE(exported.out, u"2 profiles exported to %1.\n"_s.arg(file));

        QCOMPARE(cli({u"edit"_s, u"db"_s, u"--note"_s, u"changed"_s}).code, 0);
        const Run asked = cli({u"import"_s, file}, "replace\nskip\n");
        QCOMPARE(asked.code, 0);
        QCOMPARE(asked.out.count(u"already exists"_s), 2);
        QVERIFY(asked.out.endsWith(u"0 items was added, 1 items were replaced, 1 items were "
                                   "skipped.\n"_s));
        QVERIFY(cli({u"show"_s, u"db"_s}).out.contains(u"primary database"_s));

        // Answers run out: skipped, and the report still starts a line of its own.
        const Run unanswered = cli({u"import"_s, file}, "");
        QCOMPARE(unanswered.code, 0);
        QVERIFY2(unanswered.out.endsWith(u"[Replace / Skip / Apply to All: replace all, skip all] "
                                         "\n0 items was added, 2 items were skipped.\n"_s),
                 qPrintable(unanswered.out));
        QCOMPARE(cli({u"import"_s, file, u"--skip"_s}).out,
                 u"0 items was added, 2 items were skipped.\n"_s);
        const QString broken = writeFile(u"broken.velltunnel"_s, "[{\"name\": ");
        const Run refused = cli({u"import"_s, broken, u"--replace"_s});
        QCOMPARE(refused.code, 1);
        QVERIFY(refused.err.startsWith(u"broken.velltunnel: The file is not JSON"_s));

        QFile exportedFile(file);
        QVERIFY(exportedFile.open(QIODevice::ReadOnly));
        QVERIFY(
            !QJsonDocument::fromJson(exportedFile.readAll())[u"appVersion"_s].toString().isEmpty());
        const Run skipped =
            cli({u"import"_s,
                 writeFile(u"wrapped.velltunnel"_s,
                           R"([{"name": "pinned?", "address": "h", "priority": 98303}])")});
        QCOMPARE(skipped.code, 0);
        QCOMPARE(skipped.out, u"0 items was added, 1 items were skipped.\n"_s);
        QCOMPARE(skipped.err, u"“pinned?” was skipped: “priority” is 98303, outside -32768 to "
                              "32767.\n"_s);
        QCOMPARE(cli({u"import"_s,
                      writeFile(u"nul.velltunnel"_s,
                                R"([{"name": "nul", "address": "h", "user": "a\u0000b"}])")})
                     .err,
                 u"“nul” was skipped: the user contains a control character.\n"_s);

        // A device would be read without end and a FIFO would wait for a writer.
        const QString fifo = QDir::tempPath() + u"/pipe.velltunnel"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString before = cli({u"list"_s}).out;
        for (const QString &path : {u"/dev/zero"_s, fifo}) {
            const Run notAFile = cli({u"import"_s, path});
            QCOMPARE(notAFile.code, 1);
            QCOMPARE(notAFile.err,
                     u"The file “%1” could not be read: it is not a regular file.\n"_s.arg(path));
        }
        QCOMPARE(cli({u"list"_s}).out, before);

        // A pipe comes in as standard input, which then has no answers to give.
        const Run piped = cli({u"export"_s, u"--all"_s, u"-o"_s, u"-"_s});
        QCOMPARE(piped.code, 0);
        const Run fromPipe = cli({u"import"_s, u"-"_s, u"--skip"_s}, piped.out.toUtf8());
        QCOMPARE(fromPipe.err, QString());
        QCOMPARE(fromPipe.out, u"0 items was added, 2 items were skipped.\n"_s);
        QVERIFY(cli({u"import"_s, u"-"_s, u"--replace"_s}, "[{\"name\": ")
                    .err.startsWith(u"standard input: The file is not JSON"_s));
    }

    // Output that cannot be written fails the command: a path that is no file is left as it
    // is, and standard output on a full device is no success.
    void outputThatCannotBeWrittenFails()
    {
        QCOMPARE(add(u"web"_s).code, 0);
        const QString fifo = QDir::tempPath() + u"/export-pipe.velltunnel"_s;
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const Run refused = cli({u"export"_s, u"--all"_s, u"-o"_s, fifo});
        QCOMPARE(refused.code, 1);
        QCOMPARE(refused.out, QString());
        QCOMPARE(refused.err,
                 u"“%1” could not be written: “%1” is not a regular file.\n"_s.arg(fifo));
        struct stat info
        {
        };
        QCOMPARE(::lstat(QFile::encodeName(fifo).constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));

        const QList<QStringList> commands = {
            {u"export"_s, u"--all"_s, u"-o"_s, u"-"_s}, {u"list"_s}, {u"help"_s}};
        for (const QStringList &command : commands) {
            QProcess run;
            run.setStandardInputFile(QProcess::nullDevice());
            run.setStandardOutputFile(u"/dev/full"_s);
            run.start(QStringLiteral(VELLSSH_CLI), command);
            QVERIFY(run.waitForFinished(60000));
            QCOMPARE(run.exitCode(), 1);
            QCOMPARE(QString::fromUtf8(run.readAllStandardError()),
                     u"vellssh-cli: cannot write the output: No space left on device\n"_s);
        }
    }

    // What comes in never takes from what is here: another profile's forwardings stay there,
    // a taken name gets a number, and a port that is no port keeps the profile out.
    void importKeepsTheLibraryWhole()
    {
        QCOMPARE(add(u"p1"_s, {u"-L"_s, u"18100:127.0.0.1:18000"_s}).code, 0);
        const QJsonObject p1 = exportedRecord(u"p1"_s);
        QVERIFY(!p1.isEmpty());
        QJsonObject copy = p1;
        copy.insert(u"uuid"_s, u"not-a-uuid"_s);
        copy.insert(u"name"_s, u"p1-copy"_s);
        QJsonObject twin = p1;
        twin.insert(u"uuid"_s, QUuid::createUuid().toString());
        QJsonObject forwarding = p1[u"forwardings"_s][0].toObject();
        forwarding.insert(u"uuid"_s, QUuid::createUuid().toString());
        twin.insert(u"forwardings"_s, QJsonArray{forwarding});
        QJsonObject badPort = twin;
        badPort.insert(u"uuid"_s, QUuid::createUuid().toString());
        badPort.insert(u"name"_s, u"badPort"_s);
        badPort.insert(u"port"_s, 70000);
        const QString edited = writeFile(u"edited.velltunnel"_s,
                                         QJsonDocument(QJsonArray{copy, twin, badPort}).toJson());
        const Run imported = cli({u"import"_s, edited, u"--skip"_s});
        QCOMPARE(imported.out, u"2 items was added, 1 items were skipped.\n"
                               "“p1” was added as “p1 2”: the name is taken.\n"_s);
        QCOMPARE(imported.err, u"“badPort” was skipped: “port” is 70000, outside 0 to 65535.\n"_s);
        for (const QString &name : {u"p1"_s, u"p1-copy"_s, u"p1 2"_s})
            QVERIFY2(cli({u"show"_s, name}).out.contains(u"-L 18100:127.0.0.1:18000"_s),
                     qPrintable(name));
        QCOMPARE(cli({u"edit"_s, u"p1 2"_s, u"--note"_s, u"x"_s}).code, 0);
    }

    void backupsGoToTheChosenFolder()
    {
        QCOMPARE(cli({u"backup"_s, u"now"_s}).code, 1);
        const QString folder = QDir::tempPath() + u"/backups"_s;
        QCOMPARE(cli({u"backup"_s, u"folder"_s, folder}).code, 1);
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(cli({u"backup"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(cli({u"backup"_s, u"folder"_s}).out, folder + u'\n');
        QCOMPARE(cli({u"backup"_s, u"now"_s}).out,
                 u"The library is empty: nothing was written.\n"_s);
        QCOMPARE(cli(m_db).code, 0);
        const Run written = cli({u"backup"_s, u"now"_s});
        QCOMPARE(written.code, 0);
        QVERIFY(written.out.startsWith(folder + u'/'));
        QVERIFY(written.out.endsWith(u".velltunnel\n"_s));
        const QStringList listed =
            cli({u"backup"_s, u"list"_s}).out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(listed.size(), 1);
        QVERIFY(listed.first().endsWith(written.out.trimmed()));
        const Run refused = cli({u"backup"_s, u"folder"_s, folder + u"/missing"_s});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.contains(u"automatic backups are off"_s), qPrintable(refused.err));
        QCOMPARE(cli({u"backup"_s, u"folder"_s}).out, u"Automatic backups are off.\n"_s);
        QCOMPARE(cli({u"backup"_s, u"now"_s}).code, 1);
        QCOMPARE(cli({u"backup"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(cli({u"backup"_s, u"folder"_s, u"--off"_s}).code, 0);
        QCOMPARE(cli({u"backup"_s, u"folder"_s}).out, u"Automatic backups are off.\n"_s);
    }

    void twoDevicesShareASyncFolder()
    {
        QVERIFY(cli({u"sync"_s, u"now"_s}).err.startsWith(u"Sync is off."_s));
        const QString folder = QDir::tempPath() + u"/shared"_s;
        const Run refused = cli({u"sync"_s, u"folder"_s, folder});
        QCOMPARE(refused.code, 1);
        QVERIFY(refused.err.startsWith(u"Not signed in to a sync folder"_s));
        QCOMPARE(cli({u"sync"_s, u"folder"_s}).out, u"Sync is off.\n"_s);

        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(cli({u"sync"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(second({u"sync"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(add(u"web"_s).code, 0);
        QCOMPARE(cli({u"sync"_s, u"now"_s}).out, u"1 records written, 0 applied.\n"_s);
        QCOMPARE(second({u"sync"_s, u"now"_s}).out, u"0 records written, 1 applied.\n"_s);
        QCOMPARE(second({u"edit"_s, u"web"_s, u"--note"_s, u"from the second"_s}).code, 0);
        QCOMPARE(second({u"sync"_s, u"now"_s}).out, u"1 records written, 0 applied.\n"_s);
        QCOMPARE(cli({u"sync"_s, u"now"_s}).out, u"0 records written, 1 applied.\n"_s);
        QVERIFY(cli({u"show"_s, u"web"_s}).out.contains(u"from the second"_s));

        const QString status = cli({u"sync"_s, u"status"_s}).out;
        QVERIFY2(status.contains(u"Folder: "_s + folder), qPrintable(status));
        QVERIFY(!status.contains(u"Other devices: \n"_s));
        QVERIFY(!status.contains(u"Last pass: never"_s));

        // One file imported on both before either synced it, tagged on each: one profile with
        // every tag, and one "work" tag.
        QCOMPARE(add(u"both"_s).code, 0);
        const QString file = QDir::tempPath() + u"/both.velltunnel"_s;
        QCOMPARE(cli({u"export"_s, u"both"_s, u"-o"_s, file}).code, 0);
        QCOMPARE(second({u"import"_s, file}).code, 0);
        const std::function<Run(const QStringList &)> devices[] = {
            [](const QStringList &args) { return cli(args); }, second};
        for (const auto &device : devices) {
            QCOMPARE(device({u"tag"_s, u"create"_s, u"work"_s}).code, 0);
            QCOMPARE(device({u"tag"_s, u"add"_s, u"work"_s, u"both"_s}).code, 0);
        }
        QCOMPARE(cli({u"tag"_s, u"create"_s, u"here"_s}).code, 0);
        QCOMPARE(cli({u"tag"_s, u"add"_s, u"here"_s, u"both"_s}).code, 0);
        syncBoth();
        QCOMPARE(cli({u"tag"_s, u"list"_s}).out, u"here\t1\nwork\t1\n"_s);
        QCOMPARE(second({u"tag"_s, u"list"_s}).out, u"here\t1\nwork\t1\n"_s);
        QCOMPARE(second({u"list"_s}).out.count(u"both\t"_s), 1);

        // Edits made on both before either syncs: the later one wins on both.
        QCOMPARE(cli({u"edit"_s, u"web"_s, u"--note"_s, u"first's"_s}).code, 0);
        QCOMPARE(second({u"edit"_s, u"web"_s, u"--note"_s, u"second's"_s}).code, 0);
        syncBoth();
        QVERIFY(cli({u"show"_s, u"web"_s}).out.contains(u"second's"_s));
        QVERIFY(second({u"show"_s, u"web"_s}).out.contains(u"second's"_s));

        // The trash travels, and so does a deletion.
        QCOMPARE(second({u"trash"_s, u"web"_s}).code, 0);
        syncBoth();
        QVERIFY(cli({u"list"_s, u"--trash"_s}).out.contains(u"web\t"_s));
        QCOMPARE(cli({u"delete"_s, u"web"_s, u"--yes"_s}).code, 0);
        syncBoth();
        QCOMPARE(second({u"show"_s, u"web"_s}).code, 1);

        // Another folder, then the same one emptied while sync was off: the library goes there
        // whole, for any device that comes next.
        const QString moved = QDir::tempPath() + u"/moved"_s;
        auto published = [&] {
            for (const QString &device : QDir(moved + u"/devices"_s).entryList(QDir::Dirs)) {
                QFile journal(moved + u"/devices/"_s + device + u"/journal-1.jsonl"_s);
                if (journal.open(QIODevice::ReadOnly) && journal.readAll().contains("\"both\""))
                    return true;
            }
            return false;
        };
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(emptyFolder(u"moved"_s), moved);
            QCOMPARE(cli({u"sync"_s, u"folder"_s, u"--off"_s}).code, 0);
            QCOMPARE(cli({u"sync"_s, u"folder"_s, moved}).code, 0);
            QVERIFY(!cli({u"sync"_s, u"now"_s}).out.startsWith(u"0 records written"_s));
            QVERIFY(published());
        }
    }

    // Two devices can each make a "web": both stay editable, and only setting a name that
    // another profile carries is refused.
    void aNameMadeOnTwoDevicesStaysEditable()
    {
        const QString folder = emptyFolder(u"clash"_s);
        QCOMPARE(cli({u"sync"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(second({u"sync"_s, u"folder"_s, folder}).code, 0);
        const QString mine = add(u"web"_s).out.trimmed();
        QCOMPARE(second({u"add"_s, u"--name"_s, u"web"_s, u"--host"_s, u"h"_s, u"--user"_s, u"u"_s})
                     .code,
                 0);
        QCOMPARE(add(u"api"_s).code, 0);
        QCOMPARE(second({u"sync"_s, u"now"_s}).code, 0);
        const Run synced = cli({u"sync"_s, u"now"_s});
        QCOMPARE(synced.err,
                 u"“web” shares its name with another profile: rename one of them.\n"_s);
        QVERIFY(cli({u"sync"_s, u"status"_s}).out.contains(u"Problem: “web” shares its name"_s));
        QCOMPARE(cli({u"list"_s}).out.count(u"web\t"_s), 2);

        QCOMPARE(cli({u"edit"_s, mine, u"--note"_s, u"x"_s}).code, 0);
        QCOMPARE(cli({u"edit"_s, mine, u"--name"_s, u"web"_s}).code, 0);
        const Run refused = cli({u"edit"_s, u"api"_s, u"--name"_s, u"Web"_s});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.endsWith(u"The name “Web” is already taken\nPlease choose a "
                                      "different name.\n"_s),
                 qPrintable(refused.err));
        QCOMPARE(cli({u"sync"_s, u"folder"_s, u"--off"_s}).code, 0);
    }

    // Another device's folder holds no pass up and cannot keep this device's changes from the
    // others: a FIFO in place of a journal, a record stamped as far ahead as stamps go.
    void aHostileDeviceHoldsNothingUp()
    {
        const QString folder = QDir::tempPath() + u"/hostile"_s;
        QVERIFY(QDir().mkpath(folder + u"/devices/FIFO"_s));
        QVERIFY(QDir().mkpath(folder + u"/devices/EVIL"_s));
        QCOMPARE(cli({u"sync"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(second({u"sync"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(add(u"web"_s).code, 0);
        QJsonObject record = exportedRecord(u"web"_s);
        QVERIFY(!record.isEmpty());
        const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        record.insert(u"uuid"_s, uuid);
        record.insert(u"name"_s, u"far"_s);
        const QString farAhead = u"9999999999999999-9999-EVIL"_s;
        const QJsonObject line{{u"at"_s, farAhead},  {u"entity"_s, u"profile"_s},
                               {u"uuid"_s, uuid},    {u"origin"_s, u"EVIL"_s},
                               {u"created"_s, true}, {u"record"_s, record}};
        writeFile(u"hostile/devices/EVIL/journal-1.jsonl"_s,
                  QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
        const QString fifo = folder + u"/devices/FIFO/journal-1.jsonl"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

        const Run first = cli({u"sync"_s, u"now"_s});
        QCOMPARE(first.code, 0);
        QVERIFY2(first.err.contains(fifo) && first.err.contains(farAhead), qPrintable(first.err));
        QCOMPARE(cli({u"show"_s, u"far"_s}).code, 1);
        QCOMPARE(cli({u"edit"_s, u"web"_s, u"--note"_s, u"after the hostile line"_s}).code, 0);
        QCOMPARE(cli({u"sync"_s, u"now"_s}).code, 0);
        const Run received = second({u"sync"_s, u"now"_s});
        QCOMPARE(received.code, 0);
        QVERIFY2(!received.err.contains(u"not a record"_s), qPrintable(received.err));
        QVERIFY(second({u"show"_s, u"web"_s}).out.contains(u"after the hostile line"_s));
        QCOMPARE(cli({u"sync"_s, u"folder"_s, u"--off"_s}).code, 0);
        QCOMPARE(second({u"sync"_s, u"folder"_s, u"--off"_s}).code, 0);
    }

    void whatItWritesOnlyThisUserCanRead()
    {
        const mode_t umask = ::umask(022);
        const QString settings =
            qEnvironmentVariable("XDG_CONFIG_HOME") + u"/VellSSH/VellSSH.conf"_s;
        const QString exported = QDir::tempPath() + u"/private.velltunnel"_s;
        // Files an older version left readable to all are narrowed when written again.
        for (const QString &path : {settings, exported}) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::ReadOther));
        }
        QCOMPARE(cli({u"settings"_s, u"set"_s, u"app_icon_mode"_s, u"both"_s}).code, 0);
        QCOMPARE(cli(m_db).code, 0);
        QCOMPARE(cli({u"export"_s, u"--all"_s, u"-o"_s, exported}).code, 0);
        const QString backups = emptyFolder(u"private-backups"_s);
        const QString shared = emptyFolder(u"private-sync"_s);
        QCOMPARE(cli({u"backup"_s, u"folder"_s, backups}).code, 0);
        const QString backup = cli({u"backup"_s, u"now"_s}).out.trimmed();
        QCOMPARE(cli({u"sync"_s, u"folder"_s, shared}).code, 0);
        QCOMPARE(cli({u"sync"_s, u"now"_s}).code, 0);
        QDirIterator journals(shared, {u"journal-*.jsonl"_s}, QDir::Files,
                              QDirIterator::Subdirectories);
        QVERIFY(journals.hasNext());
        const QString journal = journals.next();
        const QString state = QFileInfo(PersistenceController::defaultStorePath()).absolutePath() +
                              u"/sync-state.json"_s;
        QCOMPARE(cli({u"backup"_s, u"folder"_s, u"--off"_s}).code, 0);
        QCOMPARE(cli({u"sync"_s, u"folder"_s, u"--off"_s}).code, 0);
        QCOMPARE(cli({u"settings"_s, u"set"_s, u"app_icon_mode"_s, u"dock"_s}).code, 0);
        ::umask(umask);

        for (const QString &path : {settings, exported, backup, journal, state,
                                    PersistenceController::defaultStorePath()}) {
            QVERIFY2(QFileInfo(path).permissions() == (QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ReadUser | QFile::WriteUser),
                     qPrintable(path));
        }
    }

    void aRunningApplicationSeesTheChanges()
    {
        QCOMPARE(cli({u"list"_s}).code, 0);
        auto app = std::move(PersistenceController::open(
                                 StoreLocation::file(PersistenceController::defaultStorePath())))
                       .value();
        MemoryTokens tokens;
        app->startHistoryTracking(&tokens, 50);
        QCOMPARE(cli(m_db).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(app->mainContext()->profiles().size(), 1, 10000);
        QCOMPARE(app->mainContext()->profiles().first()->forwardings().size(), 4);
        QCOMPARE(cli({u"trash"_s, u"db"_s}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(app->mainContext()->profiles().first()->isInTrash(), 10000);
    }
};

VELL_TEST_MAIN(CliTest)
#include "tst_cli.moc"
