#include "loginitem.h"
#include "settings.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class LoginItemTest : public QObject
{
    Q_OBJECT

    QString m_path;

private Q_SLOTS:
    void init()
    {
        m_path = LoginItem::entryPath();
        QDir(QFileInfo(m_path).absolutePath()).removeRecursively();
    }

    void theEntryLivesInTheUsersAutostartFolder()
    {
        QCOMPARE(m_path, qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/vellssh.desktop"_s);
    }

    void theEntryFollowsTheSettingFromItsFirstValue()
    {
        Settings settings(QDir::tempPath() + u"/follow.conf"_s);
        QVERIFY(!settings.set(SettingKeys::launchAtLogin, true));
        LoginItem item(u"vellssh"_s);
        item.follow(settings);
        QCOMPARE(contents(m_path), item.entry());
        QVERIFY(item.entry().contains("\nExec=vellssh\n"));
        QVERIFY(!settings.set(SettingKeys::launchAtLogin, false));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(m_path), 10000);
        QVERIFY(!settings.set(SettingKeys::launchAtLogin, true));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_path), 10000);
    }

    void registeringTwiceWritesOnceAndAStaleEntryIsRenewed()
    {
        LoginItem item(u"vellssh"_s);
        QCOMPARE(*item.apply(true), LoginItem::Outcome::written);
        QCOMPARE(*item.apply(true), LoginItem::Outcome::unchanged);
        // Ours from an installation elsewhere: brought up to date.
        LoginItem moved(u"/opt/Vell SSH/bin/vellssh"_s);
        QCOMPARE(*moved.apply(true), LoginItem::Outcome::written);
        QVERIFY(contents(m_path).contains("\nExec=\"/opt/Vell SSH/bin/vellssh\"\n"));
        QCOMPARE(*moved.apply(false), LoginItem::Outcome::removed);
        QCOMPARE(*moved.apply(false), LoginItem::Outcome::unchanged);
    }

    void aFileTheUserWroteIsNeitherReplacedNorRemoved()
    {
        const QByteArray own = "[Desktop Entry]\nType=Application\nExec=vellssh --headless\n";
        write(m_path, own);
        LoginItem item(u"vellssh"_s);
        QCOMPARE(*item.apply(true), LoginItem::Outcome::usersOwnKept);
        QCOMPARE(*item.apply(false), LoginItem::Outcome::usersOwnKept);
        QCOMPARE(contents(m_path), own);
    }

    void aFailureIsLoggedAsAnErrorAndTheSettingKept()
    {
        // A folder where the entry goes: neither writing nor removing can get past it.
        QVERIFY(QDir().mkpath(m_path));
        Settings settings(QDir::tempPath() + u"/failing.conf"_s);
        QVERIFY(!settings.set(SettingKeys::launchAtLogin, true));
        LoginItem item(u"vellssh"_s);
        const Result<LoginItem::Outcome> failed = item.apply(true);
        QVERIFY(!failed);
        QVERIFY(failed.error().message.contains(m_path));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(failed.error().message));
        item.follow(settings);
        QCOMPARE(settings.get(SettingKeys::launchAtLogin), true);
        QVERIFY(QFileInfo(m_path).isDir());
        QVERIFY(!item.apply(false));
    }
};

VELL_TEST_MAIN(LoginItemTest)
#include "tst_loginitem.moc"
