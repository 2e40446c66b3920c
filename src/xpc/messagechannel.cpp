#include "messagechannel.h"

#include "descriptors.h"
#include "localized.h"

#include <QCborArray>
#include <QCborValue>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcXpc, "io.vellssh.xpc")

namespace {

constexpr auto opKey = "op";
constexpr auto idKey = "id";
constexpr auto argsKey = "args";
constexpr auto fdsKey = "fds";

// Writes the whole buffer; the descriptors go with its first byte. The socket is blocking for
// writes only in the sense that a full buffer is waited out while the peer reads.
bool sendAll(int socket, const QByteArray &bytes, const std::vector<int> &fds)
{
    qsizetype sent = 0;
    bool fdsSent = fds.empty();
    while (sent < bytes.size()) {
        iovec io{const_cast<char *>(bytes.constData() + sent), size_t(bytes.size() - sent)};
        msghdr header{};
        header.msg_iov = &io;
        header.msg_iovlen = 1;
        // Zeroed: the padding of the control message goes to the peer as it stands.
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * MessageChannel::maxDescriptors)]{};
        if (!fdsSent) {
            const size_t size = sizeof(int) * fds.size();
            header.msg_control = control;
            header.msg_controllen = CMSG_SPACE(size);
            cmsghdr *message = CMSG_FIRSTHDR(&header);
            message->cmsg_level = SOL_SOCKET;
            message->cmsg_type = SCM_RIGHTS;
            message->cmsg_len = CMSG_LEN(size);
            std::memcpy(CMSG_DATA(message), fds.data(), size);
        }
        const ssize_t written = ::sendmsg(socket, &header, MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd waiting{socket, POLLOUT, 0};
                ::poll(&waiting, 1, 1000);
                continue;
            }
            return false;
        }
        fdsSent = true;
        sent += written;
    }
    return true;
}

QByteArray encodeFrame(const QString &op, quint64 id, const QCborMap &args, size_t fdCount)
{
    QCborMap frame;
    frame.insert(QLatin1StringView(opKey), op);
    frame.insert(QLatin1StringView(idKey), qint64(id));
    frame.insert(QLatin1StringView(argsKey), args);
    frame.insert(QLatin1StringView(fdsKey), qint64(fdCount));
    return frame.toCborValue().toCbor();
}

} // namespace

std::optional<MessageChannel::Frame> MessageChannel::parseFrame(const QByteArray &body)
{
    // A frame that does not decode whole (text that is not UTF-8, a truncated item) is refused
    // before anything is looked up in it: lookups compare keys as text.
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(body, &error);
    if (error.error != QCborError::NoError || !value.isMap())
        return std::nullopt;
    const QCborMap frame = value.toMap();
    const QCborValue op = frame.value(QLatin1StringView(opKey));
    const QCborValue id = frame.value(QLatin1StringView(idKey));
    const QCborValue args = frame.value(QLatin1StringView(argsKey));
    const QCborValue fds = frame.value(QLatin1StringView(fdsKey));
    if (!op.isString() || !id.isInteger() || !args.isMap() || !fds.isInteger() ||
        fds.toInteger() < 0 || fds.toInteger() > maxDescriptors)
        return std::nullopt;
    return Frame{Message{op.toString(), quint64(id.toInteger()), args.toMap(), {}},
                 int(fds.toInteger())};
}

MessageChannel::MessageChannel(UniqueFd socket, QObject *parent)
    : QObject(parent), m_socket(std::move(socket))
{
    setNonBlocking(m_socket.get());
    m_notifier = std::make_unique<QSocketNotifier>(m_socket.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &MessageChannel::readAvailable);
}

MessageChannel::~MessageChannel() = default;

bool MessageChannel::send(const QString &op, const QCborMap &args, const std::vector<int> &fds,
                          quint64 id)
{
    Q_ASSERT(fds.size() <= size_t(maxDescriptors));
    if (!isOpen())
        return false;
    const QByteArray body = encodeFrame(op, id, args, fds.size());
    if (body.size() > qsizetype(maxFrameSize)) {
        refuseOversized(op, id, body.size());
        return false;
    }
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), bytes.data());
    bytes += body;
    if (!sendAll(m_socket.get(), bytes, fds)) {
        close(u"sending failed: "_s + QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

// Whoever waits for an answer gets a failure instead of waiting for ever: the peer for a reply,
// this side's own handler (after the caller has returned) for a request.
void MessageChannel::refuseOversized(const QString &op, quint64 id, qsizetype size)
{
    qCWarning(lcXpc) << "message too large to send:" << op << size;
    if (id == 0)
        return;
    if (op == replyOp) {
        send(replyOp,
             {{u"error"_s, localized("The answer is too large to send (%1 bytes).").arg(size)}}, {},
             id);
        return;
    }
    const QString error =
        localized("The request “%1” is too large to send (%2 bytes).").arg(op).arg(size);
    QMetaObject::invokeMethod(
        this,
        [this, id, error] {
            if (ReplyHandler handler = m_replies.take(id)) {
                Message failure{replyOp, id, {{u"error"_s, error}}, {}};
                handler(failure);
            }
        },
        Qt::QueuedConnection);
}

quint64 MessageChannel::request(const QString &op, const QCborMap &args, ReplyHandler onReply,
                                const std::vector<int> &fds)
{
    const quint64 id = m_nextId++;
    m_replies.insert(id, std::move(onReply));
    if (!send(op, args, fds, id) && !isOpen()) {
        m_replies.remove(id);
        return 0;
    }
    return id;
}

bool MessageChannel::reply(quint64 id, const QCborMap &args, const std::vector<int> &fds)
{
    return send(replyOp, args, fds, id);
}

void MessageChannel::close(const QString &reason)
{
    if (!isOpen())
        return;
    if (!reason.isEmpty())
        qCWarning(lcXpc).noquote() << "connection closed:" << reason;
    m_notifier.reset();
    m_socket.reset();
    m_buffer.clear();
    m_pendingFds.clear();
    m_replies.clear();
    Q_EMIT closed(reason);
}

void MessageChannel::readAvailable()
{
    for (;;) {
        char data[16384];
        iovec io{data, sizeof data};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 16)];
        msghdr header{};
        header.msg_iov = &io;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t count = ::recvmsg(m_socket.get(), &header, MSG_CMSG_CLOEXEC);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno == EAGAIN)
            return;
        if (count <= 0) {
            close(count == 0 && m_buffer.isEmpty() ? QString() : u"connection lost"_s);
            return;
        }
        for (cmsghdr *c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const size_t n = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < n; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                m_pendingFds.emplace_back(fd);
            }
        }
        if (header.msg_flags & MSG_CTRUNC) {
            close(u"too many descriptors in one message"_s);
            return;
        }
        m_buffer.append(data, count);
        if (!takeFrames())
            return;
    }
}

bool MessageChannel::takeFrames()
{
    while (m_buffer.size() >= 4) {
        const quint32 size = qFromBigEndian<quint32>(m_buffer.constData());
        if (size > maxFrameSize) {
            close(u"oversized message (%1 bytes)"_s.arg(size));
            return false;
        }
        if (m_buffer.size() < qsizetype(4 + size))
            return true;
        std::optional<Frame> frame = parseFrame(m_buffer.mid(4, size));
        m_buffer.remove(0, 4 + size);
        if (!frame || size_t(frame->descriptors) > m_pendingFds.size()) {
            close(u"malformed message"_s);
            return false;
        }
        Message &message = frame->message;
        const int fdCount = frame->descriptors;
        for (int i = 0; i < fdCount; ++i)
            message.fds.push_back(std::move(m_pendingFds[size_t(i)]));
        m_pendingFds.erase(m_pendingFds.begin(), m_pendingFds.begin() + fdCount);

        if (message.op == replyOp) {
            if (auto handler = m_replies.take(message.id))
                handler(message);
        } else {
            Q_EMIT received(message);
        }
        if (!isOpen())
            return false;
    }
    return true;
}
