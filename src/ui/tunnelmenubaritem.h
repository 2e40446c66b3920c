#pragma once

#include <QDBusServiceWatcher>
#include <QObject>

#include <memory>

class ObjectContext;
class QMenu;
class QSystemTrayIcon;
class SessionContainer;
class Settings;
class TunnelMenu;
class TunnelMenuBarIcon;
enum class AppIconMode;

// The tray item: present while "app_icon_mode" is menuBar or both, and gone at once when the
// setting changes, from this process or another. Nothing of it is kept while it is absent.
// Its entries' requests leave as signals for the desktop to meet.
class TunnelMenuBarItem : public QObject
{
    Q_OBJECT

public:
    TunnelMenuBarItem(Settings &settings, ObjectContext *context, SessionContainer *container,
                      QObject *parent = nullptr);
    ~TunnelMenuBarItem() override;

    static bool isWanted(AppIconMode mode);
    bool isPresent() const { return m_tray != nullptr; }
    // Both only while present.
    QSystemTrayIcon *trayIcon() const { return m_tray.get(); }
    QMenu *menu() const;
    TunnelMenuBarIcon *icon() const { return m_icon.get(); }

Q_SIGNALS:
    void presenceChanged(bool present);
    // The desktop's tray host left the bus while the item was present: the item is no longer
    // shown anywhere, though it is still wanted.
    void hostLost();
    void openMainWindowRequested();
    void settingsRequested();
    void helpRequested();
    void quitRequested();

private:
    void setPresent(bool present);
    void appear();

    ObjectContext *m_context;
    SessionContainer *m_container;
    std::unique_ptr<TunnelMenuBarIcon> m_icon;
    std::unique_ptr<TunnelMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QDBusServiceWatcher m_host;
};
