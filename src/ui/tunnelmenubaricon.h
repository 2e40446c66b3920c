#pragma once

#include "sessioncontainer.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QTimer>

// The tray's picture of the container's summary state: an idle tunnel, a connected one, or a
// three-frame animation while any connection is on its way. The animation's timer runs only
// then, so an idle application never wakes up for it.
class TunnelMenuBarIcon : public QObject
{
    Q_OBJECT

public:
    static constexpr int frameIntervalMs = 500;
    static constexpr int connectingFrames = 3;

    explicit TunnelMenuBarIcon(SessionContainer *container, QObject *parent = nullptr);

    QIcon icon() const;
    // "DisconnectedState", "ConnectedState", "Connecting1State"...
    QString imageName() const;
    // The connecting frame shown, 0 to 2.
    int frameIndex() const { return m_index; }
    bool isAnimating() const { return m_timer.isActive(); }

    static QIcon image(const QString &name);

Q_SIGNALS:
    void iconChanged();

private:
    void follow(SessionContainer::State state);
    void advance();

    SessionContainer::State m_state = SessionContainer::State::allDisconnected;
    int m_index = 0;
    QTimer m_timer;
};
