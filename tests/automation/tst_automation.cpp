#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "programrun.h"
#include "sshdfixture.h"
#include "tag.h"
#include "testenvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrlQuery>

#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString serviceName = u"io.vellssh.Tunnel"_s;
const QString notInstalled = u"Vell Shell is not installed. Install it to open the tunnels."_s;

ProgramRun cli(const QStringList &args)
{
    return runProgram(QStringLiteral(VELLSSH_CLI), args);
}

bool daemonOnBus()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(serviceName);
}

bool reloadBus()
{
    const QDBusMessage reload =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"ReloadConfig"_s);
    return QDBusConnection::sessionBus().call(reload).type() == QDBusMessage::ReplyMessage;
}

bool writeFile(const QString &path, const QByteArray &contents,
               QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size() && file.setPermissions(permissions);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray shellQuoted(const QString &text)
{
    return '\'' + text.toUtf8().replace('\'', "'\\''") + '\'';
}

} // namespace

// Every automation method over the bus, against a daemon that the bus starts, on a store that
// this test writes as another process would.
class AutomationTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SshdFixture> m_sshd;
    std::unique_ptr<PersistenceController> m_store;
    std::unique_ptr<QDBusInterface> m_tunnel;
    QHash<QString, QString> m_uuids;

    // A profile on the fixture's client key; its key in m_uuids is its label.
    void addProfile(const QString &label, const QString &name, bool trashed = false)
    {
        ObjectContext *context = m_store->mainContext();
        QVERIFY(!context->mergeCommitted());
        Profile *profile = context->insertProfile();
        profile->setName(name);
        profile->setAddress(u"127.0.0.1"_s);
        profile->setPort(m_sshd->port());
        profile->setUser(u"root"_s);
        profile->setStringOption(m_sshd->clientKey(), u"IdentityFile"_s);
        if (trashed)
            profile->setDeletedOn(QDateTime::currentDateTime());
        QVERIFY(!context->save());
        m_uuids.insert(label, *profile->scriptUUID());
    }

    // The store as it is now, read afresh.
    std::unique_ptr<ObjectContext> stored()
    {
        auto context = m_store->newContext();
        return context ? std::move(context).value() : nullptr;
    }

    static Profile *profileIn(const ObjectContext &context, const QString &uuid)
    {
        for (Profile *profile : context.profiles()) {
            if (profile->scriptUUID() == uuid)
                return profile;
        }
        return nullptr;
    }

    static QStringList tagNames(const Profile *profile)
    {
        QStringList names;
        for (const Tag *tag : profile->tags())
            names.append(*tag->name());
        names.sort();
        return names;
    }

    static QStringList tagNames(const ObjectContext &context)
    {
        QStringList names;
        for (const Tag *tag : context.tags())
            names.append(tag->name().value_or(QString()));
        return names;
    }

    QStringList uuids(const QStringList &labels) const
    {
        QStringList result;
        for (const QString &label : labels)
            result.append(m_uuids.value(label));
        return result;
    }

    QStringList states(const QStringList &labels)
    {
        return QDBusReply<QStringList>(m_tunnel->call(u"GetStatus"_s, uuids(labels))).value();
    }

    static void verifyError(const QDBusMessage &reply, const QString &name, const QString &text)
    {
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), name);
        if (!text.isEmpty())
            QCOMPARE(reply.errorMessage(), text);
    }

    // A Vell Shell that writes the arguments of each start, one per line, into the record.
    static void installFakeShell(const QString &record, const QString &fieldCode)
    {
        const QString script = QDir::tempPath() + u"/fake-vell-shell"_s;
        QVERIFY(writeFile(script,
                          "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " +
                              shellQuoted(record) + "\necho end >> " + shellQuoted(record) + "\n",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString applications =
            QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
        QVERIFY(writeFile(applications + u"/test-vellshell.desktop"_s,
                          "[Desktop Entry]\nType=Application\nName=Vell Shell\nExec=\"" +
                              script.toUtf8() + "\" " + fieldCode.toUtf8() +
                              "\nMimeType=x-scheme-handler/vellssh;\n"));
        QVERIFY(writeFile(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                              u"/mimeapps.list"_s,
                          "[Default Applications]\n"
                          "x-scheme-handler/vellssh=test-vellshell.desktop\n"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sshd = std::make_unique<SshdFixture>(QDir::tempPath() + u"/sshd"_s);
        const QString problem = m_sshd->start();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(
            cli({u"settings"_s, u"set"_s, u"user_config_file_path"_s, m_sshd->clientConfig()}).code,
            0);
        auto store = PersistenceController::open(
            StoreLocation::file(PersistenceController::defaultStorePath()), u"test"_s);
        QVERIFY2(store, qPrintable(store ? QString() : store.error().message));
        m_store = std::move(store).value();
        addProfile(u"web1"_s, u"web"_s);
        addProfile(u"web2"_s, u"web"_s);
        addProfile(u"oldWeb"_s, u"web"_s, true);
        addProfile(u"db"_s, u"db"_s);
        addProfile(u"idle"_s, u"idle"_s);
        m_tunnel = std::make_unique<QDBusInterface>(serviceName, u"/io/vellssh/Tunnel"_s,
                                                    serviceName, QDBusConnection::sessionBus());
    }

    void cleanupTestCase()
    {
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        if (daemonOnBus()) {
            ::kill(pid_t(bus->servicePid(serviceName).value()), SIGTERM);
            QTRY_VERIFY_WITH_TIMEOUT(!daemonOnBus(), 30000);
        }
        m_sshd.reset();
    }

    // The ready-made shortcuts start the application when the bus can; before it can, they
    // say that it is not running.
    void theShortcutsStartTheApplication()
    {
        const ProgramRun refused = cli({u"connect"_s, u"--pinned"_s, u"--no-wait"_s});
        QCOMPARE(refused.code, 1);
        QVERIFY(refused.err.contains(u"VellSSH is not running"_s));

        const QString starter = QDir::tempPath() + u"/start-vellssh"_s;
        QByteArray script = "#!/bin/sh\n";
        const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &key : environment.keys())
            script += "export " + key.toUtf8() + '=' + shellQuoted(environment.value(key)) + '\n';
        script += "exec " VELLSSH " --headless\n";
        QVERIFY(writeFile(starter, script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(writeFile(
            qEnvironmentVariable("VELL_BUS_SERVICES") + u'/' + serviceName + u".service"_s,
            "[D-BUS Service]\nName=" + serviceName.toUtf8() + "\nExec=" + starter.toUtf8() + '\n'));
        QVERIFY(reloadBus());
        QTRY_VERIFY_WITH_TIMEOUT(
            QDBusConnection::sessionBus().interface()->activatableServiceNames().value().contains(
                serviceName),
            10000);

        const ProgramRun started = cli({u"connect"_s, u"--pinned"_s, u"--no-wait"_s});
        QVERIFY2(started.code == 0, qPrintable(started.err));
        QVERIFY(daemonOnBus());
        QCOMPARE(cli({u"disconnect"_s, u"--all"_s, u"--no-wait"_s}).code, 0);
    }

    void byNameConnectsEverySameNamedLiveProfile()
    {
        const QDBusReply<QStringList> connected = m_tunnel->call(u"ConnectByName"_s, u"web"_s);
        QVERIFY2(connected.isValid(), qPrintable(connected.error().message()));
        QCOMPARE(QSet<QString>(connected.value().cbegin(), connected.value().cend()),
                 QSet<QString>({m_uuids[u"web1"_s], m_uuids[u"web2"_s]}));
        QTRY_COMPARE_WITH_TIMEOUT(states({u"web1"_s, u"web2"_s}),
                                  QStringList({u"connected"_s, u"connected"_s}), 30000);
        // A trashed profile is neither listed nor found, by uuid or by name.
        verifyError(m_tunnel->call(u"GetStatus"_s, uuids({u"oldWeb"_s})),
                    u"io.vellssh.Error.NotFound"_s, {});
        const QDBusReply<QList<QVariantMap>> listed = m_tunnel->call(u"ListProfiles"_s);
        for (const QVariantMap &profile : listed.value())
            QVERIFY(profile.value(u"uuid"_s) != m_uuids[u"oldWeb"_s]);
        QCOMPARE(
            QDBusReply<QStringList>(m_tunnel->call(u"DisconnectByName"_s, u"web"_s)).value().size(),
            2);
        QTRY_COMPARE_WITH_TIMEOUT(states({u"web1"_s, u"web2"_s}),
                                  QStringList({u"disconnected"_s, u"disconnected"_s}), 30000);
    }

    // One state per profile named, in the order named; notConnected before the first run.
    void statusFollowsTheOrderGiven()
    {
        QVERIFY(QDBusReply<QStringList>(m_tunnel->call(u"Connect"_s, uuids({u"db"_s}))).isValid());
        QTRY_COMPARE_WITH_TIMEOUT(
            states({u"idle"_s, u"db"_s, u"web1"_s}),
            QStringList({u"notConnected"_s, u"connected"_s, u"disconnected"_s}), 30000);
        const QDBusReply<QStringList> byName =
            m_tunnel->call(u"GetStatus"_s, QStringList{u"db"_s, u"idle"_s});
        QCOMPARE(byName.value(), QStringList({u"connected"_s, u"notConnected"_s}));
        const ProgramRun listed = cli({u"status"_s, u"idle"_s, u"db"_s});
        QCOMPARE(listed.out, u"idle\tNot Connected\t\ndb\tConnected\t\n"_s);
        QCOMPARE(cli({u"status"_s, u"nobody"_s}).code, 1);
        QVERIFY(
            QDBusReply<QStringList>(m_tunnel->call(u"Disconnect"_s, uuids({u"db"_s}))).isValid());
        QTRY_COMPARE_WITH_TIMEOUT(states({u"db"_s}), QStringList{u"disconnected"_s}, 30000);
    }

    void tagsAreMadeGivenTakenAndDeleted()
    {
        QCOMPARE(m_tunnel->call(u"CreateTag"_s, u"team"_s).type(), QDBusMessage::ReplyMessage);
        verifyError(m_tunnel->call(u"CreateTag"_s, u"team"_s), u"io.vellssh.Error.Invalid"_s, {});
        verifyError(m_tunnel->call(u"CreateTag"_s, QString()), u"io.vellssh.Error.Invalid"_s, {});
        QCOMPARE(m_tunnel->call(u"CreateTag"_s, u"ops"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(m_tunnel
                     ->call(u"AddTags"_s, uuids({u"db"_s, u"idle"_s}),
                            QStringList{u" team "_s, u"ops"_s})
                     .type(),
                 QDBusMessage::ReplyMessage);
        verifyError(m_tunnel->call(u"AddTags"_s, uuids({u"db"_s}), QStringList{u"nothere"_s}),
                    u"io.vellssh.Error.NotFound"_s, u"No tag “nothere”."_s);
        QCOMPARE(m_tunnel->call(u"RemoveTags"_s, uuids({u"idle"_s}), QStringList{u"ops"_s}).type(),
                 QDBusMessage::ReplyMessage);
        {
            const auto context = stored();
            QCOMPARE(tagNames(profileIn(*context, m_uuids[u"db"_s])),
                     QStringList({u"ops"_s, u"team"_s}));
            QCOMPARE(tagNames(profileIn(*context, m_uuids[u"idle"_s])), QStringList{u"team"_s});
        }

        // The tag is found with blanks around its name.
        const QDBusReply<QStringList> tagged = m_tunnel->call(u"ConnectWithTag"_s, u"  ops  "_s);
        QCOMPARE(tagged.value(), uuids({u"db"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(states({u"db"_s}), QStringList{u"connected"_s}, 30000);
        QCOMPARE(QDBusReply<QStringList>(m_tunnel->call(u"DisconnectWithTag"_s, u"ops "_s)).value(),
                 uuids({u"db"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(states({u"db"_s}), QStringList{u"disconnected"_s}, 30000);

        QCOMPARE(m_tunnel->call(u"DeleteTags"_s, QStringList{u"ops"_s}).type(),
                 QDBusMessage::ReplyMessage);
        const auto context = stored();
        QCOMPARE(tagNames(profileIn(*context, m_uuids[u"db"_s])), QStringList{u"team"_s});
        for (const Tag *tag : context->tags())
            QVERIFY(tag->name() != u"ops"_s);
    }

    // A script names tags as the command line does: blanks around a name are dropped, and a
    // name that no one could type or see is refused before it reaches the store.
    void scriptsNameTagsAsTheCommandLineDoes()
    {
        for (const QString &bad : {u"   "_s, u"line\nbreak"_s, u"bell\a"_s, QString(2000, u'x')})
            verifyError(m_tunnel->call(u"CreateTag"_s, bad), u"io.vellssh.Error.Invalid"_s, {});
        verifyError(m_tunnel->call(u"CreateTag"_s, u"tab\there"_s), u"io.vellssh.Error.Invalid"_s,
                    u"The name “tab\\there” contains a control character."_s);
        verifyError(m_tunnel->call(u"AddTags"_s, uuids({u"db"_s}), QStringList{u"new\nline"_s}),
                    u"io.vellssh.Error.Invalid"_s, {});

        QCOMPARE(m_tunnel->call(u"CreateTag"_s, u"  spaced  "_s).type(),
                 QDBusMessage::ReplyMessage);
        verifyError(m_tunnel->call(u"CreateTag"_s, u"spaced"_s), u"io.vellssh.Error.Invalid"_s, {});
        QVERIFY(tagNames(*stored()).contains(u"spaced"_s));
        QCOMPARE(m_tunnel->call(u"DeleteTags"_s, QStringList{u" spaced"_s}).type(),
                 QDBusMessage::ReplyMessage);
        QVERIFY(!tagNames(*stored()).contains(u"spaced"_s));
    }

    void pinnedProfilesConnectAndNoneIsNoError()
    {
        const QDBusReply<QStringList> none = m_tunnel->call(u"ConnectPinned"_s);
        QVERIFY2(none.isValid(), qPrintable(none.error().message()));
        QVERIFY(none.value().isEmpty());
        const ProgramRun nothing = cli({u"connect"_s, u"--pinned"_s});
        QCOMPARE(nothing.code, 0);
        QCOMPARE(nothing.out, QString());
        QCOMPARE(states({u"idle"_s}), QStringList{u"notConnected"_s});

        QVERIFY(!m_store->mainContext()->mergeCommitted());
        profileIn(*m_store->mainContext(), m_uuids[u"idle"_s])->setPinned(true);
        QVERIFY(!m_store->mainContext()->save());
        QCOMPARE(cli({u"connect"_s, u"--pinned"_s}).out, u"idle: Connected\n"_s);
        QCOMPARE(QDBusReply<QStringList>(m_tunnel->call(u"ConnectPinned"_s)).value(),
                 uuids({u"idle"_s}));
        QCOMPARE(states({u"idle"_s}), QStringList{u"connected"_s});
    }

    // Deleting ends the tunnel; the profile is in the trash, and automation finds it no more.
    void deleteMovesToTheTrash()
    {
        QCOMPARE(m_tunnel->call(u"DeleteProfiles"_s, uuids({u"idle"_s})).type(),
                 QDBusMessage::ReplyMessage);
        QVERIFY(profileIn(*stored(), m_uuids[u"idle"_s])->isInTrash());
        verifyError(m_tunnel->call(u"GetStatus"_s, uuids({u"idle"_s})),
                    u"io.vellssh.Error.NotFound"_s, {});
        verifyError(m_tunnel->call(u"DeleteProfiles"_s, QStringList{u"nobody"_s}),
                    u"io.vellssh.Error.NotFound"_s, {});
    }

    void anExportImportsAgain()
    {
        const QDBusReply<QString> exported =
            m_tunnel->call(u"ExportProfiles"_s, uuids({u"web1"_s, u"db"_s}), u"pair"_s);
        QVERIFY2(exported.isValid(), qPrintable(exported.error().message()));
        QCOMPARE(exported.value(),
                 QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                     u"/VellSSH/Exports/pair.velltunnel"_s);
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(exported.value()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        const QDBusReply<QString> padded =
            m_tunnel->call(u"ExportProfiles"_s, uuids({u"db"_s}), u"  padded "_s);
        QVERIFY(padded.value().endsWith(u"/VellSSH/Exports/padded.velltunnel"_s));
        for (const QString &bad : {QString(), u"  "_s, u"a/b"_s, u"line\nbreak"_s})
            verifyError(m_tunnel->call(u"ExportProfiles"_s, uuids({u"db"_s}), bad),
                        u"io.vellssh.Error.Invalid"_s, {});

        // The store changes after the export; only an import that replaces takes it back.
        QVERIFY(!m_store->mainContext()->mergeCommitted());
        profileIn(*m_store->mainContext(), m_uuids[u"db"_s])->setName(u"renamed"_s);
        QVERIFY(!m_store->mainContext()->save());
        const QDBusReply<QString> kept =
            m_tunnel->call(u"ImportProfiles"_s, exported.value(), false);
        QVERIFY2(kept.isValid(), qPrintable(kept.error().message()));
        QVERIFY2(kept.value().contains(u"skipped"_s), qPrintable(kept.value()));
        QCOMPARE(profileIn(*stored(), m_uuids[u"db"_s])->name(), u"renamed"_s);
        const QDBusReply<QString> replaced =
            m_tunnel->call(u"ImportProfiles"_s, exported.value(), true);
        QVERIFY2(replaced.value().contains(u"replaced"_s), qPrintable(replaced.value()));
        QCOMPARE(profileIn(*stored(), m_uuids[u"db"_s])->name(), u"db"_s);

        verifyError(m_tunnel->call(u"ImportProfiles"_s, u"pair.velltunnel"_s, true),
                    u"io.vellssh.Error.Invalid"_s, {});
        verifyError(m_tunnel->call(u"ImportProfiles"_s, QDir::tempPath() + u"/missing"_s, true),
                    u"io.vellssh.Error.Failed"_s, {});
    }

    void openInShellWithoutItSaysSo()
    {
        verifyError(m_tunnel->call(u"OpenInShell"_s, uuids({u"web1"_s})),
                    u"io.vellssh.Error.NotInstalled"_s, notInstalled);
        const ProgramRun opened = cli({u"open"_s, m_uuids[u"web1"_s]});
        QCOMPARE(opened.code, 1);
        QCOMPARE(opened.err, notInstalled + u'\n');
    }

    // One URL per profile, handed to the handler that the desktop names.
    void openInShellHandsEachProfileToIt()
    {
        const QString record = QDir::tempPath() + u"/opened"_s;
        installFakeShell(record, u"%u"_s);
        QCOMPARE(m_tunnel->call(u"OpenInShell"_s, uuids({u"web1"_s, u"db"_s})).type(),
                 QDBusMessage::ReplyMessage);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(record).count("end\n"), 2, 30000);
        QStringList urls = QString::fromUtf8(readFile(record)).split(u'\n', Qt::SkipEmptyParts);
        urls.removeAll(u"end"_s);
        QCOMPARE(urls.size(), 2);
        QStringList opened;
        for (const QString &text : std::as_const(urls)) {
            const QUrl url(text, QUrl::StrictMode);
            QCOMPARE(url.scheme(), u"vellssh"_s);
            QCOMPARE(url.host(), u"localhost"_s);
            const QUrlQuery query(url);
            QCOMPARE(query.queryItemValue(u"host"_s), u"127.0.0.1"_s);
            QCOMPARE(query.queryItemValue(u"port"_s), QString::number(m_sshd->port()));
            QCOMPARE(query.queryItemValue(u"user"_s), u"root"_s);
            opened.append(query.queryItemValue(u"uuid"_s));
        }
        opened.sort();
        QStringList expected = uuids({u"web1"_s, u"db"_s});
        expected.sort();
        QCOMPARE(opened, expected);
    }
};

VELL_TEST_MAIN(AutomationTest)
#include "tst_automation.moc"
