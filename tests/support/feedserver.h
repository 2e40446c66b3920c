#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <optional>

// A small HTTP/1.1 server on 127.0.0.1 that answers each path as the test set it up: a
// document, an error status, a redirect, silence, or a body sent a byte at a time. Connections stay
// open for the next request (a client that follows a redirect sends it on the same one), except
// after a streamed body.
class FeedServer : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        // Sent as Location with a 302.
        QByteArray redirectTo;
        // Accepts the request and never answers.
        bool silent = false;
        // Leaves out Content-Length and sends the body in pieces, ending with the connection.
        bool streamed = false;
        // Sends the body one byte per interval, when set.
        std::optional<std::chrono::milliseconds> drip;
    };

    static Answer document(const QByteArray &body, int status = 200)
    {
        Answer answer;
        answer.status = status;
        answer.body = body;
        return answer;
    }
    static Answer redirect(const QByteArray &to)
    {
        Answer answer;
        answer.status = 302;
        answer.redirectTo = to;
        return answer;
    }
    static Answer silence()
    {
        Answer answer;
        answer.silent = true;
        return answer;
    }
    static Answer stream(const QByteArray &body)
    {
        Answer answer = document(body);
        answer.streamed = true;
        return answer;
    }

    static Answer drip(const QByteArray &body, std::chrono::milliseconds interval)
    {
        Answer answer = document(body);
        answer.drip = interval;
        return answer;
    }

    FeedServer();

    QUrl url(const QString &path) const;
    void serve(const QString &path, const Answer &answer) { m_answers.insert(path, answer); }
    // The paths asked for, in order.
    QStringList requests;

private:
    void accept();
    void answer(QTcpSocket *socket, const QString &path);
    static void drip(QTcpSocket *socket, const Answer &answer);

    QTcpServer m_server;
    QHash<QString, Answer> m_answers;
    QHash<QTcpSocket *, QByteArray> m_unread;
};
Q_DECLARE_METATYPE(FeedServer::Answer)
