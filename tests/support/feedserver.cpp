#include "feedserver.h"

#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

FeedServer::FeedServer()
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, &FeedServer::accept);
}

QUrl FeedServer::url(const QString &path) const
{
    return QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_server.serverPort()).arg(path));
}

void FeedServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            QByteArray &unread = m_unread[socket];
            unread += socket->readAll();
            while (unread.contains("\r\n\r\n")) {
                const qsizetype end = unread.indexOf("\r\n\r\n") + 4;
                const QByteArray head = unread.left(end);
                unread.remove(0, end);
                const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
                answer(socket, QString::fromLatin1(requestLine.value(1)));
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_unread.remove(socket);
            socket->deleteLater();
        });
    }
}

void FeedServer::answer(QTcpSocket *socket, const QString &path)
{
    requests.append(path);
    const Answer answer = m_answers.value(path, document("not here", 404));
    if (answer.silent)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\n";
    if (!answer.redirectTo.isEmpty())
        head += "Location: " + answer.redirectTo + "\r\n";
    head += answer.streamed ? QByteArray("Connection: close\r\n")
                            : "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    head += "Content-Type: application/rss+xml\r\n\r\n";
    socket->write(head);
    if (answer.drip) {
        drip(socket, answer);
        return;
    }
    for (qsizetype at = 0; at < answer.body.size(); at += 16 * 1024)
        socket->write(answer.body.mid(at, 16 * 1024));
    if (answer.streamed)
        socket->disconnectFromHost();
}

void FeedServer::drip(QTcpSocket *socket, const Answer &answer)
{
    auto *timer = new QTimer(socket);
    timer->setInterval(*answer.drip);
    connect(timer, &QTimer::timeout, socket,
            [socket, timer, body = answer.body, sent = 0]() mutable {
                socket->write(body.mid(sent++, 1));
                if (sent == body.size())
                    timer->stop();
            });
    timer->start();
}
