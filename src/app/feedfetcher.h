#pragma once

#include "result.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>

// Fetches one small document over HTTPS with the limits that a feed read in the background
// needs: a timeout, a deadline, a size cap, few redirects, and none that leave HTTPS. Plain HTTP is
// allowed to this machine alone, where nothing on the way can change the answer.
class FeedFetcher : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        // Longest silence while a reply is under way.
        std::chrono::milliseconds timeout{std::chrono::seconds(30)};
        qint64 maxBytes = 1024 * 1024;
        int maxRedirects = 5;
        // Longest time for the whole fetch, redirects included: a server that keeps sending a
        // byte now and then never lets the timeout above run out.
        std::chrono::milliseconds deadline{std::chrono::seconds(60)};
    };

    explicit FeedFetcher(Limits limits, QObject *parent = nullptr);

    static bool isSecure(const QUrl &url);
    // One fetch at a time; a second call while one runs is a programming error.
    void fetch(const QUrl &url);
    bool isFetching() const { return m_reply != nullptr; }

Q_SIGNALS:
    void finished(const Result<QByteArray> &document);

private:
    void request(const QUrl &url);
    void redirect(const QUrl &target);
    void readSome();
    void done();
    void expire();
    void fail(const Error &error);
    Error networkError() const;

    Limits m_limits;
    QNetworkAccessManager m_network;
    QTimer m_deadline;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_received;
    int m_redirects = 0;
    std::optional<Error> m_stopped;
};
