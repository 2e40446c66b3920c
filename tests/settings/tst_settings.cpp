#include "settings.h"
#include "testenvironment.h"

#include <QFile>
#include <QProcess>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
namespace Keys = SettingKeys;

namespace {

// Another process that writes one key through its own Settings and exits.
int helper(const QStringList &args)
{
    Settings settings(args.value(0));
    for (const SettingText &text : settingTexts()) {
        if (text.name == args.value(1))
            return text.write(settings, args.value(2)) ? 1 : 0;
    }
    return 2;
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

    QString m_path;
    int m_count = 0;

    void writeFile(const QByteArray &contents)
    {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

private Q_SLOTS:
    void init() { m_path = QDir::tempPath() + u"/settings-%1/VellSSH.conf"_s.arg(++m_count); }

    // A missing file, and values no version wrote, read as the defaults.
    void readsTheDefaults_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("fresh installation") << QByteArray();
        QTest::newRow("damaged values")
            << QByteArray("[General]\napp_icon_mode=taskbar\nlaunch_at_login=maybe\n"
                          "update_channel=nightly\nprofile_advanced_options_split_fraction=wide\n"
                          "environment_variables=@ByteArray({\"not\": \"a list\"})\n");
    }
    void readsTheDefaults()
    {
        QFETCH(QByteArray, contents);
        QVERIFY(Settings::defaultFilePath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        if (!contents.isEmpty())
            writeFile(contents);
        Settings settings(m_path);
        QCOMPARE(settings.get(Keys::appIconMode), AppIconMode::dock);
        QCOMPARE(settings.get(Keys::launchAtLogin), false);
        QCOMPARE(settings.get(Keys::iCloudSync), false);
        QCOMPARE(settings.get(Keys::updateChannel), UpdateChannel::stable);
        QCOMPARE(settings.get(Keys::userConfigFilePath), QString());
        QVERIFY(settings.get(Keys::environmentVariables).contents.isEmpty());
        QVERIFY(!settings.get(Keys::syncFolderBookmark));
        QCOMPARE(settings.get(Keys::profileAdvancedOptionsSplitFraction), 0.7);
    }

    void valuesRoundTripThroughTheFile()
    {
        EnvironmentVariables variables;
        variables.contents = {{QUuid::createUuid(), u"LANG"_s, u"C"_s, true}};
        {
            Settings settings(m_path);
            settings.set(Keys::appIconMode, AppIconMode::menuBar);
            settings.set(Keys::launchAtLogin, true);
            settings.set(Keys::updateChannel, UpdateChannel::beta);
            settings.set(Keys::userConfigFilePath, u"~/.ssh/other config"_s);
            settings.set(Keys::environmentVariables, variables);
            settings.set(Keys::syncFolderBookmark, std::optional(u"/backups"_s));
            settings.set(Keys::profileAdvancedOptionsSplitFraction, 0.25);
        }
        Settings settings(m_path);
        QCOMPARE(settings.get(Keys::appIconMode), AppIconMode::menuBar);
        QCOMPARE(settings.get(Keys::launchAtLogin), true);
        QCOMPARE(settings.get(Keys::updateChannel), UpdateChannel::beta);
        QCOMPARE(settings.get(Keys::userConfigFilePath), u"~/.ssh/other config"_s);
        QCOMPARE(settings.get(Keys::environmentVariables), variables);
        QCOMPARE(settings.get(Keys::syncFolderBookmark), u"/backups"_s);
        QCOMPARE(settings.get(Keys::profileAdvancedOptionsSplitFraction), 0.25);
        settings.set(Keys::syncFolderBookmark, std::optional<QString>());
        QVERIFY(!settings.get(Keys::syncFolderBookmark));
    }

    void anUnreadableFileIsKeptAsideAndSaidSo_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("unclosed section") << QByteArray("[General\nlaunch_at_login=true\n");
        QTest::newRow("blocks of zeros")
            << QByteArray("launch_at_login=true\n") + QByteArray(64, 0);
        QTest::newRow("not text") << QByteArray("\xff\xfe[\x80\x81]\nx=\xc3\n");
    }
    void anUnreadableFileIsKeptAsideAndSaidSo()
    {
        QFETCH(QByteArray, contents);
        writeFile(contents);
        Settings settings(m_path);
        const auto problem = settings.takeProblem();
        QVERIFY(problem);
        QVERIFY2(problem->message.contains(m_path), qPrintable(problem->message));
        const QStringList aside =
            QDir(QFileInfo(m_path).absolutePath()).entryList({u"VellSSH.conf.damaged-*"_s});
        QCOMPARE(aside.size(), 1);
        QVERIFY(problem->message.contains(aside.first()));
        QFile kept(QFileInfo(m_path).absolutePath() + u'/' + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), contents);
        QVERIFY(!settings.takeProblem());

        // Writes go on into a new file and never touch the one kept aside.
        QVERIFY(!settings.set(Keys::launchAtLogin, true));
        QCOMPARE(Settings(m_path).get(Keys::launchAtLogin), true);
        kept.seek(0);
        QCOMPARE(kept.readAll(), contents);
    }

    // A FIFO would hang the start, a link to a device be read without end and written through.
    void aFileThatIsNoRegularFileIsMovedAsideUnread()
    {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        const QString fifo = QFileInfo(m_path).absolutePath() + u"/fifo"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(fifo, m_path));
        Settings settings(m_path);
        const auto problem = settings.takeProblem();
        QVERIFY(problem);
        QVERIFY2(problem->message.contains(u"not a regular file"_s), qPrintable(problem->message));
        QVERIFY(!settings.set(Keys::launchAtLogin, true));
        QVERIFY(QFileInfo(m_path).isFile() && !QFileInfo(m_path).isSymLink());
        QVERIFY(!QFileInfo(fifo).isFile());
    }

    void updatesStartWithTheCurrentValueAndFollowEveryWriter()
    {
        Settings settings(m_path);
        QList<AppIconMode> seen;
        QObject receiver;
        settings.updates<AppIconMode>(Keys::appIconMode, &receiver,
                                      [&](const AppIconMode &mode) { seen.append(mode); });
        QCOMPARE(seen, QList<AppIconMode>{AppIconMode::dock});
        settings.set(Keys::appIconMode, AppIconMode::menuBar);
        QCOMPARE(seen, (QList<AppIconMode>{AppIconMode::dock, AppIconMode::menuBar}));
        settings.set(Keys::launchAtLogin, true);
        QCOMPARE(seen.size(), 2);

        QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(),
                                   {u"--helper"_s, m_path, u"app_icon_mode"_s, u"both"_s}),
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 3, 10000);
        QCOMPARE(seen.last(), AppIconMode::both);
    }

    void theFileIsForThisUserAlone()
    {
        const QFileDevice::Permissions private_ =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        const mode_t umask = ::umask(022);
        {
            Settings settings(m_path);
            settings.set(Keys::userConfigFilePath, u"~/cfg"_s);
        }
        QCOMPARE(QFile::permissions(m_path), private_);
        // One an older version left readable to all is narrowed by the next write, also by
        // another process, and keeps its values.
        QVERIFY(QFile::setPermissions(m_path, private_ | QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(),
                                   {u"--helper"_s, m_path, u"launch_at_login"_s, u"true"_s}),
                 0);
        ::umask(umask);
        QCOMPARE(QFile::permissions(m_path), private_);
        Settings settings(m_path);
        QCOMPARE(settings.get(Keys::userConfigFilePath), u"~/cfg"_s);
        QCOMPARE(settings.get(Keys::launchAtLogin), true);
    }

    void textualAccessForTheCommandLine()
    {
        Settings settings(m_path);
        for (const SettingText &text : settingTexts()) {
            if (text.name == u"update_channel"_s) {
                QVERIFY(text.write(settings, u"nightly"_s));
                QVERIFY(!text.write(settings, u"beta"_s));
                QCOMPARE(text.read(settings), u"beta"_s);
            }
            if (text.name == u"environment_variables"_s)
                QVERIFY(text.write(settings, u"{}"_s));
        }
    }

    void theHistoryPositionIsKeptInTheSettings()
    {
        Settings settings(m_path);
        SettingsHistoryTokenStore tokens(settings, u"app"_s);
        QVERIFY(!tokens.lastToken());
        tokens.setLastToken(42);
        QCOMPARE(Settings(m_path).raw(u"PersistentHistoryTrackingKit.lastToken.app"_s).toInt(), 42);
        QCOMPARE(tokens.lastToken(), 42);
    }
};

VELL_TEST_MAIN_WITH_HELPER(SettingsTest, helper)
#include "tst_settings.moc"
