#pragma once

#include "uniquefd.h"

#include <QByteArray>
#include <QCborMap>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

// One message of the service protocol: an operation, a request id (0 for messages that want no
// reply), arguments, and descriptors that travel beside it.
struct Message
{
    QString op;
    quint64 id = 0;
    QCborMap args;
    std::vector<UniqueFd> fds;
};

// Both ends of a service connection: length-prefixed CBOR frames over a Unix socket, with
// descriptors passed by SCM_RIGHTS. Either side sends requests and replies; a reply carries the
// id of its request. A malformed, truncated or oversized frame ends the connection with a
// logged reason, never a crash.
class MessageChannel : public QObject
{
    Q_OBJECT

public:
    // A frame is held whole before it is decoded, so its size bounds what a peer can make the
    // other side buffer; the largest real frame is the list of a big known_hosts file (a 5 MB
    // file makes about 11 MB).
    static constexpr quint32 maxFrameSize = 16 << 20;
    static constexpr int maxDescriptors = 3;
    static inline const QString replyOp = QStringLiteral("reply");

    using ReplyHandler = std::function<void(Message &reply)>;

    explicit MessageChannel(UniqueFd socket, QObject *parent = nullptr);
    ~MessageChannel() override;

    // The body of one frame, decoded: the message without its descriptors (they travel beside
    // the frame) and how many go with it. Nothing for a body that is not a whole, well-formed
    // frame.
    struct Frame
    {
        Message message;
        int descriptors = 0;
    };
    static std::optional<Frame> parseFrame(const QByteArray &body);

    bool isOpen() const { return m_socket.isValid(); }
    // Sends and forgets; descriptors are duplicated by the kernel, the caller keeps its own. A
    // message over the frame limit is not sent: a reply is replaced by an error reply, so that
    // the asker is answered all the same.
    bool send(const QString &op, const QCborMap &args = {}, const std::vector<int> &fds = {},
              quint64 id = 0);
    // Sends a request; the handler runs when its reply arrives, with an error reply when the
    // request is too large to send, or never, if the channel closes. 0 when the channel is closed.
    quint64 request(const QString &op, const QCborMap &args, ReplyHandler onReply,
                    const std::vector<int> &fds = {});
    bool reply(quint64 id, const QCborMap &args, const std::vector<int> &fds = {});
    void close(const QString &reason = {});

Q_SIGNALS:
    void received(Message &message);
    void closed(const QString &reason);

private:
    void readAvailable();
    bool takeFrames();
    void refuseOversized(const QString &op, quint64 id, qsizetype size);

    UniqueFd m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_buffer;
    std::vector<UniqueFd> m_pendingFds;
    QHash<quint64, ReplyHandler> m_replies;
    quint64 m_nextId = 1;
};
