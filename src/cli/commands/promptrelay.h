#pragma once

#include "asker.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class IoVellsshTunnelInterface;

// Puts the questions that the connection attempts of a command ask to the user, one at a time,
// and sends the answers back. Questions wait until the command knows its profiles; those of
// other clients' profiles are left to them.
class PromptRelay
{
public:
    explicit PromptRelay(IoVellsshTunnelInterface &tunnel);

    // The names of the command's profiles by uuid; asking starts with them.
    void setNames(const QHash<QString, QString> &names);

private:
    struct Question
    {
        uint id;
        QString uuid;
        QString message;
        bool secret;
        QString remember;
    };

    void withdrawn(uint id);
    void askNext();
    void answered(const Question &question, const std::optional<QString> &answer);
    void send(uint id, const std::optional<QString> &answer, bool remember);

    IoVellsshTunnelInterface &m_tunnel;
    // The context of the connections, so that none outlives the relay.
    QObject m_receiver;
    Asker m_asker;
    QList<Question> m_questions;
    std::optional<uint> m_current;
    QHash<QString, QString> m_names;
};
