#pragma once

#include <QByteArray>
#include <QTcpServer>

// Sends every byte back, on loopback: what a tunnel's far end is in the tests.
class EchoServer : public QTcpServer
{
public:
    EchoServer();
};

// Sends the bytes through the port and collects what comes back, while the event loop runs
// (the echo server lives on this thread too); less than was sent after ten seconds.
QByteArray relay(quint16 port, const QByteArray &bytes);
