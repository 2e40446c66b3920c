#include "tunnelmenubaricon.h"

#include <QHash>

using namespace Qt::StringLiterals;

TunnelMenuBarIcon::TunnelMenuBarIcon(SessionContainer *container, QObject *parent) : QObject(parent)
{
    m_timer.setInterval(frameIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TunnelMenuBarIcon::advance);
    connect(container, &SessionContainer::currentStateChanged, this, &TunnelMenuBarIcon::follow);
    follow(container->currentState());
}

QIcon TunnelMenuBarIcon::icon() const
{
    return image(imageName());
}

QString TunnelMenuBarIcon::imageName() const
{
    switch (m_state) {
    case SessionContainer::State::allDisconnected:
        return u"DisconnectedState"_s;
    case SessionContainer::State::atLeastOneConnected:
        return u"ConnectedState"_s;
    case SessionContainer::State::atLeastOneConnecting:
        return u"Connecting%1State"_s.arg(m_index + 1);
    }
    return u"DisconnectedState"_s;
}

QIcon TunnelMenuBarIcon::image(const QString &name)
{
    static QHash<QString, QIcon> images;
    auto it = images.find(name);
    if (it == images.end())
        it = images.insert(name, QIcon(u":/icons/%1.svg"_s.arg(name)));
    return *it;
}

void TunnelMenuBarIcon::follow(SessionContainer::State state)
{
    if (state == m_state)
        return;
    m_state = state;
    m_index = 0;
    if (state == SessionContainer::State::atLeastOneConnecting)
        m_timer.start();
    else
        m_timer.stop();
    Q_EMIT iconChanged();
}

void TunnelMenuBarIcon::advance()
{
    m_index = (m_index + 1) % connectingFrames;
    Q_EMIT iconChanged();
}
