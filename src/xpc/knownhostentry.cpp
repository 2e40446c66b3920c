#include "knownhostentry.h"

#include "enumnames.h"
#include "localized.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

constexpr auto statusNames = enumNames<KnownHostEntry::Status>({
    {KnownHostEntry::Status::invalid, "invalid"},
    {KnownHostEntry::Status::ok, "ok"},
    {KnownHostEntry::Status::comment, "comment"},
    {KnownHostEntry::Status::matched, "matched"},
});

// The key types OpenSSH writes into known_hosts; a line naming anything else is not a host
// key ssh would ever match, so it is shown as broken rather than trusted.
bool isKnownKeyType(const QString &type)
{
    static const QStringList plain{u"ssh-ed25519"_s,
                                   u"ssh-rsa"_s,
                                   u"ssh-dss"_s,
                                   u"ecdsa-sha2-nistp256"_s,
                                   u"ecdsa-sha2-nistp384"_s,
                                   u"ecdsa-sha2-nistp521"_s,
                                   u"sk-ssh-ed25519@openssh.com"_s,
                                   u"sk-ecdsa-sha2-nistp256@openssh.com"_s,
                                   u"ssh-xmss@openssh.com"_s};
    static const QString certificate = u"-cert-v01@openssh.com"_s;
    static const QString openssh = u"@openssh.com"_s;
    if (plain.contains(type))
        return true;
    if (!type.endsWith(certificate))
        return false;
    QString base = type.chopped(certificate.size());
    if (base.startsWith(u"sk-"_s))
        base += openssh;
    return plain.contains(base);
}

} // namespace

KnownHostEntry KnownHostEntry::fromLine(const QString &line)
{
    KnownHostEntry entry;
    entry.content = line;
    const QString text = line.trimmed();
    if (text.isEmpty() || text.startsWith(u'#')) {
        entry.status = Status::comment;
        return entry;
    }
    static const QRegularExpression blanks(u"\\s+"_s);
    QStringList fields = text.split(blanks, Qt::SkipEmptyParts);
    std::optional<QString> marker;
    if (fields.first().startsWith(u'@'))
        marker = fields.takeFirst();
    const bool knownMarker = !marker || *marker == u"@cert-authority"_s || *marker == u"@revoked"_s;
    const bool keyDecodes = fields.size() >= 3 &&
                            QByteArray::fromBase64Encoding(fields[2].toLatin1(),
                                                           QByteArray::AbortOnBase64DecodingErrors)
                                    .decodingStatus == QByteArray::Base64DecodingStatus::Ok;
    if (!knownMarker || !keyDecodes || !isKnownKeyType(fields[1])) {
        entry.status = Status::invalid;
        return entry;
    }
    entry.marker = marker;
    entry.hosts = fields[0];
    entry.rawkey = fields[1] + u' ' + fields[2];
    return entry;
}

QByteArray knownHostsJSON(const QList<KnownHostEntry> &entries)
{
    QJsonArray array;
    for (const KnownHostEntry &entry : entries) {
        QJsonObject object{
            {u"content"_s, entry.content},
            {u"status"_s, QJsonObject{{statusNames.name(entry.status), QJsonObject()}}}};
        if (entry.marker)
            object.insert(u"marker"_s, *entry.marker);
        if (entry.hosts)
            object.insert(u"hosts"_s, *entry.hosts);
        if (entry.rawkey)
            object.insert(u"rawkey"_s, *entry.rawkey);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

Result<QList<KnownHostEntry>> knownHostsFromJSON(const QByteArray &json)
{
    const Error broken(localized("The known hosts could not be read."));
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isArray())
        return broken;
    QList<KnownHostEntry> entries;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject object = value.toObject();
        const QJsonValue content = object.value(u"content"_s);
        const QJsonObject status = object.value(u"status"_s).toObject();
        const auto statusValue =
            status.size() == 1 ? statusNames.value(status.keys().first()) : std::nullopt;
        if (!content.isString() || !statusValue)
            return broken;
        KnownHostEntry entry{content.toString(), *statusValue, {}, {}, {}};
        auto optionalText = [&](const QString &key) -> std::optional<QString> {
            const QJsonValue v = object.value(key);
            return v.isString() ? std::optional(v.toString()) : std::nullopt;
        };
        entry.marker = optionalText(u"marker"_s);
        entry.hosts = optionalText(u"hosts"_s);
        entry.rawkey = optionalText(u"rawkey"_s);
        entries.append(entry);
    }
    return entries;
}
