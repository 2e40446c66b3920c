#include "appcastfeed.h"

#include "localized.h"
#include "softwareversion.h"

#include <QXmlStreamReader>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QUrl webAddress(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const bool web = url.scheme() == u"https"_s || url.scheme() == u"http"_s;
    return url.isValid() && web && !url.host().isEmpty() ? url : QUrl();
}

void readEnclosure(const QXmlStreamAttributes &attributes, AppcastItem &item)
{
    for (const QXmlStreamAttribute &attribute : attributes) {
        const QStringView name = attribute.name();
        const QString value = attribute.value().toString().trimmed();
        if (name == u"url"_s)
            item.enclosureUrl = webAddress(value);
        else if (name == u"length"_s)
            item.enclosureLength = std::max<qint64>(0, value.toLongLong());
        else if (name == u"version"_s)
            item.version = value;
        else if (name == u"shortVersion"_s)
            item.shortVersion = value;
    }
}

// The child elements of one <item>; the reader stands on its start.
AppcastItem readItem(QXmlStreamReader &reader)
{
    AppcastItem item;
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        if (name == u"enclosure"_s) {
            readEnclosure(reader.attributes(), item);
            reader.skipCurrentElement();
            continue;
        }
        const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements);
        if (name == u"title"_s)
            item.title = text.trimmed();
        else if (name == u"version"_s)
            item.version = text.trimmed();
        else if (name == u"shortVersion"_s)
            item.shortVersion = text.trimmed();
        else if (name == u"pubDate"_s)
            item.pubDate = QDateTime::fromString(text.trimmed(), Qt::RFC2822Date);
        else if (name == u"link"_s)
            item.link = webAddress(text);
        else if (name == u"releaseNotesLink"_s)
            item.releaseNotesLink = webAddress(text);
        else if (name == u"channel"_s)
            item.channel = text.trimmed();
    }
    return item;
}

bool usable(const AppcastItem &item)
{
    return !item.version.isEmpty() && item.downloadUrl().isValid();
}

Error badFeed()
{
    return Error(localized("The update information could not be read."),
                 localized("The server sent something other than an update feed. Try again "
                           "later."));
}

} // namespace

Result<QList<AppcastItem>> parseAppcast(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    if (!reader.readNextStartElement() || reader.name() != u"rss"_s)
        return badFeed();
    QList<AppcastItem> items;
    while (reader.readNextStartElement()) {
        if (reader.name() != u"channel"_s) {
            reader.skipCurrentElement();
            continue;
        }
        while (reader.readNextStartElement()) {
            if (reader.name() != u"item"_s) {
                reader.skipCurrentElement();
                continue;
            }
            if (AppcastItem item = readItem(reader); usable(item))
                items.append(std::move(item));
        }
    }
    while (!reader.atEnd() && !reader.hasError())
        reader.readNext();
    if (reader.hasError())
        return badFeed();
    return items;
}

std::optional<AppcastItem> newestUpdate(const QList<AppcastItem> &items,
                                        const QString &currentVersion,
                                        const QSet<QString> &allowedChannels)
{
    std::optional<AppcastItem> newest;
    for (const AppcastItem &item : items) {
        if (!item.channel.isEmpty() && !allowedChannels.contains(item.channel))
            continue;
        if (compareVersions(item.version, currentVersion) <= 0)
            continue;
        if (!newest || compareVersions(item.version, newest->version) > 0)
            newest = item;
    }
    return newest;
}
