#include "propertylist.h"

#include <QDateTime>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

class Reader
{
public:
    explicit Reader(const QByteArray &xml) : m_xml(xml) {}

    std::optional<QVariant> document()
    {
        if (!nextElement() || m_xml.name() != u"plist"_s)
            return std::nullopt;
        if (!nextElement())
            return std::nullopt;
        auto root = value();
        if (!root || m_xml.hasError())
            return std::nullopt;
        return root;
    }

private:
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement)
                return true;
            if (token == QXmlStreamReader::EndElement || token == QXmlStreamReader::Invalid)
                return false;
        }
        return false;
    }

    // Reads the value whose start element is current, up to and including its end element.
    std::optional<QVariant> value()
    {
        const QString tag = m_xml.name().toString();
        if (tag == u"dict"_s)
            return dictionary();
        if (tag == u"array"_s)
            return array();
        if (tag == u"true"_s || tag == u"false"_s) {
            m_xml.skipCurrentElement();
            return QVariant(tag == u"true"_s);
        }
        const QString text = m_xml.readElementText();
        if (m_xml.hasError())
            return std::nullopt;
        if (tag == u"string"_s)
            return QVariant(text);
        if (tag == u"integer"_s) {
            bool ok = false;
            const qint64 number = text.trimmed().toLongLong(&ok);
            return ok ? std::optional(QVariant(number)) : std::nullopt;
        }
        if (tag == u"real"_s) {
            bool ok = false;
            const double number = text.trimmed().toDouble(&ok);
            return ok ? std::optional(QVariant(number)) : std::nullopt;
        }
        if (tag == u"data"_s) {
            QByteArray compact = text.toLatin1();
            compact.replace(' ', "").replace('\n', "").replace('\t', "").replace('\r', "");
            auto decoded =
                QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            return decoded ? std::optional(QVariant(*decoded)) : std::nullopt;
        }
        if (tag == u"date"_s) {
            const QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
            return date.isValid() ? std::optional(QVariant(date)) : std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<QVariant> dictionary()
    {
        QVariantMap map;
        while (nextElement()) {
            if (m_xml.name() != u"key"_s)
                return std::nullopt;
            const QString key = m_xml.readElementText();
            if (!nextElement())
                return std::nullopt;
            auto item = value();
            if (!item)
                return std::nullopt;
            map.insert(key, *item);
        }
        return m_xml.hasError() ? std::nullopt : std::optional(QVariant(map));
    }

    std::optional<QVariant> array()
    {
        QVariantList list;
        while (nextElement()) {
            auto item = value();
            if (!item)
                return std::nullopt;
            list.append(*item);
        }
        return m_xml.hasError() ? std::nullopt : std::optional(QVariant(list));
    }

    QXmlStreamReader m_xml;
};

} // namespace

std::optional<QVariant> readPropertyList(const QByteArray &xml)
{
    return Reader(xml).document();
}
