#include "feedfetcher.h"

#include "localized.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cassert>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

Error unreachable()
{
    return Error(localized("The update server could not be reached."),
                 localized("Check your network connection and try again."));
}

Error insecure()
{
    return Error(localized("Updates are only checked over a secure connection."),
                 localized("The update server sent the check to an address without HTTPS."));
}

Error tooManyRedirects()
{
    return Error(localized("The update server redirected the check too many times."),
                 localized("Try again later."));
}

Error tooLarge()
{
    return Error(localized("The update information is larger than expected."),
                 localized("Try again later."));
}

Error tooSlow()
{
    return Error(localized("The update server took too long to send the update information."),
                 localized("Check your network connection and try again."));
}

bool isLoopback(const QUrl &url)
{
    const QHostAddress address(url.host());
    return url.host() == u"localhost"_s || (!address.isNull() && address.isLoopback());
}

} // namespace

FeedFetcher::FeedFetcher(Limits limits, QObject *parent) : QObject(parent), m_limits(limits)
{
    m_network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &FeedFetcher::expire);
}

bool FeedFetcher::isSecure(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    return url.scheme() == u"https"_s || (url.scheme() == u"http"_s && isLoopback(url));
}

void FeedFetcher::fetch(const QUrl &url)
{
    assert(!isFetching());
    m_redirects = 0;
    m_deadline.start(m_limits.deadline);
    request(url);
}

void FeedFetcher::request(const QUrl &url)
{
    m_received.clear();
    m_stopped.reset();
    if (!isSecure(url)) {
        fail(insecure());
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_limits.timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &FeedFetcher::readSome);
    connect(m_reply, &QNetworkReply::finished, this, &FeedFetcher::done);
}

// Redirects are followed here, not by the network layer, so that each target is checked before
// anything is sent to it.
void FeedFetcher::redirect(const QUrl &target)
{
    if (!isSecure(target)) {
        fail(insecure());
        return;
    }
    if (++m_redirects > m_limits.maxRedirects) {
        fail(tooManyRedirects());
        return;
    }
    request(target);
}

void FeedFetcher::readSome()
{
    const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() > m_limits.maxBytes) {
        m_stopped = tooLarge();
        m_reply->abort();
        return;
    }
    m_received += m_reply->read(m_limits.maxBytes + 1 - m_received.size());
    if (m_received.size() > m_limits.maxBytes) {
        m_stopped = tooLarge();
        m_reply->abort();
    }
}

void FeedFetcher::expire()
{
    if (!m_reply)
        return;
    m_stopped = tooSlow();
    m_reply->abort();
}

void FeedFetcher::done()
{
    QNetworkReply *reply = m_reply;
    reply->deleteLater();
    if (m_stopped) {
        const Error error = *m_stopped;
        fail(error);
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (reply->error() == QNetworkReply::NoError && status >= 300 && status < 400 &&
        target.isValid()) {
        redirect(reply->url().resolved(target));
        return;
    }
    if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300) {
        fail(networkError());
        return;
    }
    readSome();
    if (m_stopped) {
        const Error error = *m_stopped;
        fail(error);
        return;
    }
    m_reply = nullptr;
    m_deadline.stop();
    Q_EMIT finished(std::exchange(m_received, {}));
}

void FeedFetcher::fail(const Error &error)
{
    m_reply = nullptr;
    m_received.clear();
    m_deadline.stop();
    Q_EMIT finished(error);
}

Error FeedFetcher::networkError() const
{
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (m_reply->error()) {
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return Error(localized("The update server did not answer in time."),
                     localized("Check your network connection and try again."));
    default:
        break;
    }
    if (status >= 300) {
        return Error(localized("The update server answered with an error (HTTP %1).").arg(status),
                     localized("Try again later."));
    }
    if (m_reply->error() == QNetworkReply::SslHandshakeFailedError)
        return Error(localized("The update server’s identity could not be verified."),
                     localized("Try again later."));
    return unreachable();
}
