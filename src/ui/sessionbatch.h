#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <QUuid>

class Profile;
class SessionContainer;

// Connects or disconnects many profiles in turn, a slice of the event loop's time at a time,
// so that the window keeps answering while hundreds of sessions start or stop. A new batch
// takes the place of one still running: Disconnect All right after Connect All leaves no
// profile connecting behind it.
class SessionBatch : public QObject
{
    Q_OBJECT

public:
    enum class Action
    {
        connect,
        disconnect
    };
    static constexpr int sliceMs = 10;

    explicit SessionBatch(SessionContainer *container, QObject *parent = nullptr);

    // The first slice runs at once.
    void start(Action action, const QList<Profile *> &profiles);

private:
    void runSlice();

    SessionContainer *m_container;
    Action m_action = Action::connect;
    // By uuid: a profile trashed or deleted meanwhile is passed over.
    QList<QUuid> m_pending;
    QTimer m_next;
};
