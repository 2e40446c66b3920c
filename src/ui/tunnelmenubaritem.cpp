#include "tunnelmenubaritem.h"

#include "settings.h"
#include "tunnelmenu.h"
#include "tunnelmenubaricon.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

TunnelMenuBarItem::TunnelMenuBarItem(Settings &settings, ObjectContext *context,
                                     SessionContainer *container, QObject *parent)
    : QObject(parent), m_context(context), m_container(container),
      m_host(u"org.kde.StatusNotifierWatcher"_s, QDBusConnection::sessionBus(),
             QDBusServiceWatcher::WatchForUnregistration)
{
    // Qt keeps the item and says nothing when the panel that shows it goes away.
    connect(&m_host, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (isPresent())
            Q_EMIT hostLost();
    });
    settings.updates<AppIconMode>(SettingKeys::appIconMode, this,
                                  [this](AppIconMode mode) { setPresent(isWanted(mode)); });
}

TunnelMenuBarItem::~TunnelMenuBarItem() = default;

bool TunnelMenuBarItem::isWanted(AppIconMode mode)
{
    return mode == AppIconMode::menuBar || mode == AppIconMode::both;
}

QMenu *TunnelMenuBarItem::menu() const
{
    return m_menu ? m_menu->menu() : nullptr;
}

void TunnelMenuBarItem::setPresent(bool present)
{
    if (present == isPresent())
        return;
    if (present) {
        appear();
    } else {
        m_tray.reset();
        m_menu.reset();
        m_icon.reset();
    }
    Q_EMIT presenceChanged(present);
}

void TunnelMenuBarItem::appear()
{
    m_icon = std::make_unique<TunnelMenuBarIcon>(m_container);
    m_menu = std::make_unique<TunnelMenu>(m_context, m_container);
    connect(m_menu->openMainWindow, &QAction::triggered, this,
            &TunnelMenuBarItem::openMainWindowRequested);
    connect(m_menu->settings, &QAction::triggered, this, &TunnelMenuBarItem::settingsRequested);
    connect(m_menu->help, &QAction::triggered, this, &TunnelMenuBarItem::helpRequested);
    connect(m_menu->quit, &QAction::triggered, this, &TunnelMenuBarItem::quitRequested);

    m_tray = std::make_unique<QSystemTrayIcon>(m_icon->icon());
    m_tray->setToolTip(QGuiApplication::applicationDisplayName());
    m_tray->setContextMenu(m_menu->menu());
    connect(m_icon.get(), &TunnelMenuBarIcon::iconChanged, m_tray.get(),
            [this] { m_tray->setIcon(m_icon->icon()); });
    // A plain click on the item, where the desktop reports one, opens the window.
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    Q_EMIT openMainWindowRequested();
            });
    m_tray->show();
}
