#pragma once

#include "result.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include <optional>

// One release in the feed. An item without a channel belongs to the stable channel, which every
// user is offered.
struct AppcastItem
{
    QString title;
    // The version that is compared; the short version is what people read, where the feed has one.
    QString version;
    QString shortVersion;
    QDateTime pubDate;
    QUrl link;
    QUrl releaseNotesLink;
    QUrl enclosureUrl;
    qint64 enclosureLength = 0;
    QString channel;

    QString displayVersion() const { return shortVersion.isEmpty() ? version : shortVersion; }
    // Where Download sends the user: the release's page, else the package itself.
    QUrl downloadUrl() const { return link.isValid() ? link : enclosureUrl; }

    friend bool operator==(const AppcastItem &, const AppcastItem &) = default;
};

// The items of an RSS 2.0 feed. Besides RSS's own title, link, pubDate and enclosure (url,
// length) an item may name its version, shortVersion, releaseNotesLink and channel, as elements
// of any namespace or as attributes of the enclosure. Items with no version, or with neither a
// link nor an enclosure, are left out; a document that is not RSS is an error.
Result<QList<AppcastItem>> parseAppcast(const QByteArray &document);

// The newest item above the running version that the allowed channels admit, if any.
std::optional<AppcastItem> newestUpdate(const QList<AppcastItem> &items,
                                        const QString &currentVersion,
                                        const QSet<QString> &allowedChannels);
