#include "appfixture.h"
#include "desktopapplication.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "settings.h"
#include "sshdfixture.h"
#include "tag.h"
#include "tunnelmenubaricon.h"
#include "tunnelmenubaritem.h"
#include "tunnelservice.h"
#include "tunnelsession.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace {

// One entry of a com.canonical.dbusmenu layout, as a tray host reads it.
struct MenuNode
{
    int id = 0;
    QVariantMap properties;
    QList<MenuNode> children;

    bool isSeparator() const { return properties.value(u"type"_s) == u"separator"_s; }
    bool isEnabled() const { return properties.value(u"enabled"_s, true).toBool(); }
    bool isChecked() const { return properties.value(u"toggle-state"_s).toInt() == 1; }
    // The label as a host shows it: "_" marks the mnemonic and "__" stands for "_".
    QString text() const
    {
        if (isSeparator())
            return u"-"_s;
        const QString label = properties.value(u"label"_s).toString();
        QString shown;
        for (qsizetype i = 0; i < label.size(); ++i) {
            if (label.at(i) != u'_')
                shown.append(label.at(i));
            else if (i + 1 < label.size() && label.at(i + 1) == u'_')
                shown.append(label.at(++i));
        }
        return shown;
    }
};

MenuNode readNode(const QDBusArgument &argument)
{
    MenuNode node;
    argument.beginStructure();
    argument >> node.id >> node.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        node.children.append(readNode(child.variant().value<QDBusArgument>()));
    }
    argument.endArray();
    argument.endStructure();
    return node;
}

} // namespace

// The tray item as a desktop sees it: a watcher with a host on a private bus, the item's menu
// read over the bus from a connection of the test's own, on a real X server.
class MenuBarItemTest : public QObject
{
    Q_OBJECT

    QProcess m_watcher;
    QDBusConnection m_reader{QString()};
    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<TunnelService> m_service;
    std::unique_ptr<DesktopApplication> m_desktop;

    Settings &settings() const { return m_fixture->app().settings(); }
    TunnelMenuBarItem &item() const { return m_desktop->menuBarItem(); }

    void startDesktop()
    {
        VellAppDelegate &app = m_fixture->app();
        m_service = std::make_unique<TunnelService>(app.store(), &app.container());
        m_desktop = std::make_unique<DesktopApplication>(app, *m_service, QString());
        m_desktop->start({});
    }

    // Asked without blocking the event loop: the item answers from this very process.
    QDBusMessage ask(const QDBusMessage &call)
    {
        QDBusPendingCallWatcher watcher(m_reader.asyncCall(call, 15000));
        QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
        if (!watcher.isFinished())
            finished.wait(20000);
        return watcher.reply();
    }

    QVariant property(const QString &service, const QString &path, const QString &interface,
                      const QString &name)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, path, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        call.setArguments({interface, name});
        const QDBusMessage reply = ask(call);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QStringList registeredItems()
    {
        return property(StatusNotifierWatcherName, u"/StatusNotifierWatcher"_s,
                        StatusNotifierWatcherName, u"RegisteredStatusNotifierItems"_s)
            .toStringList();
    }

    // The item's service and its menu's object path.
    std::pair<QString, QString> menuAddress()
    {
        const QStringList items = registeredItems();
        if (items.size() != 1)
            return {};
        const qsizetype slash = items.first().indexOf(u'/');
        const QString service = items.first().left(slash);
        const QVariant menu =
            property(service, items.first().mid(slash), u"org.kde.StatusNotifierItem"_s, u"Menu"_s);
        return {service, menu.value<QDBusObjectPath>().path()};
    }

    MenuNode layout()
    {
        const auto [service, path] = menuAddress();
        if (path.isEmpty())
            return {};
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, dbusMenu, u"GetLayout"_s);
        call.setArguments({0, -1, QStringList()});
        const QDBusMessage reply = ask(call);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
            return {};
        return readNode(reply.arguments().at(1).value<QDBusArgument>());
    }

    QStringList texts()
    {
        QStringList texts;
        for (const MenuNode &node : layout().children)
            texts.append(node.text());
        return texts;
    }

    // The first entry of the menu, at any depth, with the label.
    std::optional<MenuNode> entry(const QString &label)
    {
        QList<MenuNode> pending{layout()};
        while (!pending.isEmpty()) {
            const MenuNode node = pending.takeFirst();
            if (node.text() == label && node.id != 0)
                return node;
            pending.append(node.children);
        }
        return std::nullopt;
    }

    bool click(const QString &label)
    {
        const std::optional<MenuNode> node = entry(label);
        if (!node)
            return false;
        const auto [service, path] = menuAddress();
        QDBusMessage event = QDBusMessage::createMethodCall(service, path, dbusMenu, u"Event"_s);
        event.setArguments(
            {node->id, u"clicked"_s, QVariant::fromValue(QDBusVariant(QVariant(0))), 0u});
        return ask(event).type() == QDBusMessage::ReplyMessage;
    }

    Profile *addTunnel(const QString &name, const QList<Tag *> &tags = {})
    {
        return m_fixture->addProfile(name, [&](Profile &profile) { profile.setTags(tags); });
    }

    static inline const QString StatusNotifierWatcherName = u"org.kde.StatusNotifierWatcher"_s;
    static inline const QString dbusMenu = u"com.canonical.dbusmenu"_s;

private Q_SLOTS:
    void initTestCase()
    {
        // Qt decides once per process whether trays go over the bus: the watcher comes first.
        m_watcher.start(QStringLiteral(VELL_SNI_WATCHER), {});
        QVERIFY(m_watcher.waitForStarted());
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered(StatusNotifierWatcherName), 20000);
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
        m_reader = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"host"_s);
        QVERIFY(m_reader.isConnected());
    }

    void cleanupTestCase()
    {
        m_watcher.terminate();
        m_watcher.waitForFinished();
    }

    void init() { m_fixture = std::make_unique<AppFixture>(); }

    void cleanup()
    {
        m_desktop.reset();
        m_service.reset();
        m_fixture.reset();
        QTRY_VERIFY_WITH_TIMEOUT(registeredItems().isEmpty(), 20000);
    }

    void theItemComesAndGoesWithTheSetting()
    {
        startDesktop();
        QVERIFY(m_desktop->window().isVisible());
        QVERIFY(!item().isPresent());
        QVERIFY(registeredItems().isEmpty());

        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::both));
        QVERIFY(item().isPresent());
        QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), 1, 20000);
        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::dock));
        QVERIFY(!item().isPresent());
        QTRY_VERIFY_WITH_TIMEOUT(registeredItems().isEmpty(), 20000);

        // Another process writes the settings file.
        Settings other(settings().filePath());
        QVERIFY(!other.set(SettingKeys::appIconMode, AppIconMode::menuBar));
        QTRY_VERIFY_WITH_TIMEOUT(item().isPresent(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), 1, 20000);
    }

    void menuBarModeStartsWithTheItemAlone()
    {
        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::menuBar));
        startDesktop();
        QVERIFY(item().isPresent());
        QVERIFY(!m_desktop->window().isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), 1, 20000);

        QTRY_VERIFY_WITH_TIMEOUT(click(u"Open Main Window"_s), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(m_desktop->window().isVisible(), 20000);
        m_desktop->window().close();
        QVERIFY(!m_desktop->window().isVisible());
        QVERIFY(item().isPresent());

        QSignalSpy settingsWanted(&item(), &TunnelMenuBarItem::settingsRequested);
        QSignalSpy helpWanted(&item(), &TunnelMenuBarItem::helpRequested);
        QVERIFY(click(u"Settings"_s));
        QVERIFY(click(u"Help"_s));
        QTRY_COMPARE_WITH_TIMEOUT(settingsWanted.size(), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(helpWanted.size(), 1, 20000);

        // Going back to the dock alone must not leave the application out of reach.
        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::dock));
        QVERIFY(m_desktop->window().isVisible());
    }

    void theMenuListsTagsUntaggedAndTunnels()
    {
        Tag *web = m_fixture->addTag(u"web"_s);
        Tag *db = m_fixture->addTag(u"db"_s);
        m_fixture->addTag(u"empty"_s);
        addTunnel(u"beta"_s, {web, db});
        addTunnel(u"alpha"_s, {web});
        addTunnel(u"R&D"_s);
        Profile *trashed = addTunnel(u"gone"_s, {web});
        trashed->setDeletedOn(QDateTime::currentDateTimeUtc());
        m_fixture->save();
        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::both));
        startDesktop();

        const QStringList expected{u"db"_s,
                                   u"beta"_s,
                                   u"Connect All"_s,
                                   u"Disconnect All"_s,
                                   u"-"_s,
                                   u"web"_s,
                                   u"alpha"_s,
                                   u"beta"_s,
                                   u"Connect All"_s,
                                   u"Disconnect All"_s,
                                   u"-"_s,
                                   u"Untagged"_s,
                                   u"R&D"_s,
                                   u"-"_s,
                                   u"Tunnels"_s,
                                   u"Connect All Tunnels"_s,
                                   u"Disconnect All Tunnels"_s,
                                   u"-"_s,
                                   u"Open Main Window"_s,
                                   u"Settings"_s,
                                   u"Help"_s,
                                   u"-"_s,
                                   u"Quit"_s};
        QTRY_COMPARE_WITH_TIMEOUT(texts(), expected, 20000);
        const MenuNode menu = layout();
        for (const MenuNode &node : menu.children) {
            const bool header =
                QStringList{u"db"_s, u"web"_s, u"Untagged"_s, u"Tunnels"_s}.contains(node.text());
            const bool idleBulk = node.text().startsWith(u"Disconnect All"_s);
            if (!node.isSeparator())
                QVERIFY2(node.isEnabled() == !(header || idleBulk), qPrintable(node.text()));
        }
        QCOMPARE(entry(u"alpha"_s)->properties.value(u"toggle-type"_s), u"checkmark"_s);

        // Another writer renames, tags and adds; the menu follows its merge.
        auto cli = std::move(PersistenceController::open(m_fixture->app().store().location(),
                                                         PersistenceController::cliAuthor))
                       .value();
        ObjectContext &other = *cli->mainContext();
        Profile *alpha = nullptr;
        Tag *otherDb = nullptr;
        for (Profile *profile : other.profiles())
            alpha = profile->name() == u"alpha"_s ? profile : alpha;
        for (Tag *tag : other.tags())
            otherDb = tag->name() == u"db"_s ? tag : otherDb;
        alpha->setName(u"aleph"_s);
        alpha->addTag(otherDb);
        QVERIFY(!other.save());
        QTRY_COMPARE_WITH_TIMEOUT(
            texts().mid(0, 5),
            (QStringList{u"db"_s, u"aleph"_s, u"beta"_s, u"Connect All"_s, u"Disconnect All"_s}),
            20000);
    }

    void aTagWithManyProfilesListsThemInASubmenu()
    {
        Tag *fleet = m_fixture->addTag(u"fleet"_s);
        m_fixture->context().performWithoutUndo([&] {
            for (int i = 1; i <= 40; ++i) {
                Profile *profile = m_fixture->context().insertProfile();
                profile->setName(u"node %1"_s.arg(i));
                profile->setAddress(u"127.0.0.1"_s);
                profile->addTag(fleet);
            }
        });
        m_fixture->save();
        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::both));
        startDesktop();
        QTRY_COMPARE_WITH_TIMEOUT(texts().mid(0, 3),
                                  (QStringList{u"fleet"_s, u"40 Tunnels"_s, u"-"_s}), 20000);
        const MenuNode submenu = layout().children.at(1);
        QCOMPARE(submenu.children.size(), 40 + 3);
        QCOMPARE(submenu.children.at(0).text(), u"node 1"_s);
        QCOMPARE(submenu.children.at(39).text(), u"node 40"_s);
        QCOMPARE(submenu.children.at(41).text(), u"Connect All"_s);
    }

    void clickingAnEntryConnectsAndDisconnectsIt()
    {
        SshdFixture sshd(QDir::tempPath() + u"/sshd"_s);
        if (const QString problem = sshd.start(); !problem.isEmpty())
            QSKIP(qPrintable(problem));
        QVERIFY(!settings().set(SettingKeys::userConfigFilePath, sshd.clientConfig()));
        Tag *ops = m_fixture->addTag(u"ops"_s);
        Profile *live = m_fixture->addProfile(u"live"_s, [&](Profile &p) {
            p.setUser(u"root"_s);
            p.setPort(sshd.port());
            p.setStringOption(sshd.clientKey(), u"IdentityFile"_s);
            p.setTags({ops});
        });
        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::both));
        startDesktop();
        QTRY_VERIFY_WITH_TIMEOUT(entry(u"live"_s).has_value(), 20000);

        const QList<QAction *> entries = item().menu()->actions();
        QVERIFY(click(u"live"_s));
        SessionContainer &container = m_fixture->app().container();
        QTRY_COMPARE_WITH_TIMEOUT(container.session(*live->uuid())->lastState(),
                                  SessionState::connected, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(entry(u"live — Connected"_s).has_value(), 20000);
        QVERIFY(entry(u"live — Connected"_s)->isChecked());
        QVERIFY(!entry(u"Connect All Tunnels"_s)->isEnabled());
        QVERIFY(entry(u"Disconnect All"_s)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(item().icon()->imageName(), u"ConnectedState"_s, 20000);
        // States change the entries in place; the menu is not laid out again for them.
        QCOMPARE(item().menu()->actions(), entries);

        QVERIFY(click(u"live — Connected"_s));
        QTRY_VERIFY_WITH_TIMEOUT(container.session(*live->uuid())->canConnect(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(entry(u"live"_s).has_value(), 20000);
        QVERIFY(!entry(u"live"_s)->isChecked());
        QTRY_COMPARE_WITH_TIMEOUT(item().icon()->imageName(), u"DisconnectedState"_s, 20000);
    }

    // A server that accepts and never speaks holds the connection in its first state.
    void theIconAnimatesOnlyWhileConnecting()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        Profile *stuck =
            m_fixture->addProfile(u"stuck"_s, [&](Profile &p) { p.setPort(silent.serverPort()); });
        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::menuBar));
        startDesktop();
        TunnelMenuBarIcon *icon = item().icon();
        QCOMPARE(icon->imageName(), u"DisconnectedState"_s);
        QVERIFY(!icon->isAnimating());

        QTRY_VERIFY_WITH_TIMEOUT(click(u"Connect All Tunnels"_s), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(icon->isAnimating(), 20000);
        QSignalSpy frames(icon, &TunnelMenuBarIcon::iconChanged);
        QStringList shown;
        while (shown.size() < 4 && frames.wait(5000))
            shown.append(icon->imageName());
        QCOMPARE(shown.size(), 4);
        QVERIFY(shown.contains(u"Connecting1State"_s));
        QVERIFY(shown.contains(u"Connecting2State"_s));
        QVERIFY(shown.contains(u"Connecting3State"_s));
        QCOMPARE(item().trayIcon()->icon().cacheKey(), icon->icon().cacheKey());

        m_fixture->app().container().session(*stuck->uuid())->disconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!icon->isAnimating(), 20000);
        QCOMPARE(icon->imageName(), u"DisconnectedState"_s);
    }

    // Last: the desktop's watcher leaves the bus here and comes back at the end.
    void thePanelGoingAwayOpensTheWindow()
    {
        QVERIFY(!settings().set(SettingKeys::appIconMode, AppIconMode::menuBar));
        startDesktop();
        QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), 1, 20000);
        QVERIFY(!m_desktop->window().isVisible());

        QSignalSpy lost(&item(), &TunnelMenuBarItem::hostLost);
        m_watcher.terminate();
        QVERIFY(m_watcher.waitForFinished(20000));
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 20000);
        QVERIFY(m_desktop->window().isVisible());
        QVERIFY(item().isPresent());

        m_watcher.start(QStringLiteral(VELL_SNI_WATCHER), {});
        QVERIFY(m_watcher.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), 1, 20000);
    }
};

VELL_UI_TEST_MAIN(MenuBarItemTest)
#include "tst_menubaritem.moc"
