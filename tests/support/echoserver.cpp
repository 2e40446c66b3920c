#include "echoserver.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTest>

EchoServer::EchoServer()
{
    listen(QHostAddress::LocalHost);
    QObject::connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [socket] { socket->write(socket->readAll()); });
        }
    });
}

QByteArray relay(quint16 port, const QByteArray &bytes)
{
    QTcpSocket socket;
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                     [&] { received += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::connected, &socket, [&] { socket.write(bytes); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    QDeadlineTimer deadline(10000);
    while (received.size() < bytes.size() && !deadline.hasExpired() &&
           socket.state() != QAbstractSocket::UnconnectedState)
        QTest::qWait(10);
    return received;
}
