#include "profile.h"

#include "forwarding.h"
#include "localized.h"
#include "objectcontext.h"
#include "recordaccess.h"
#include "tag.h"
#include "uuidtext.h"

#include <algorithm>

using namespace Qt::StringLiterals;

bool isTruthyOptionValue(const QString &value)
{
    return value == u"yes"_s || value == u"y"_s || value == u"true"_s || value == u"t"_s;
}

std::optional<OptionDictionary> stringOptions(const std::optional<QJsonObject> &options)
{
    if (!options)
        return std::nullopt;
    OptionDictionary dictionary;
    for (auto it = options->constBegin(); it != options->constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        dictionary.insert(it.key(), it.value().toString());
    }
    return dictionary;
}

void Profile::edit(const std::function<void(ProfileData &)> &change)
{
    ObjectContext *owner = context();
    owner->willChange(this);
    change(m_data);
    owner->didChange(this);
}

void Profile::setName(const std::optional<QString> &value)
{
    edit([&](ProfileData &d) { d.name = value; });
}

void Profile::setAddress(const std::optional<QString> &value)
{
    edit([&](ProfileData &d) { d.address = value; });
}

void Profile::setPort(qint32 value)
{
    edit([&](ProfileData &d) { d.port = value; });
}

void Profile::setUser(const std::optional<QString> &value)
{
    edit([&](ProfileData &d) { d.user = value; });
}

void Profile::setPrivateKeyName(const std::optional<QString> &value)
{
    edit([&](ProfileData &d) { d.privateKeyName = value; });
}

void Profile::setCertificateName(const std::optional<QString> &value)
{
    edit([&](ProfileData &d) { d.certificateName = value; });
}

void Profile::setAutoConnect(bool value)
{
    edit([&](ProfileData &d) { d.autoConnect = value; });
}

void Profile::setRetryAttempts(qint16 value)
{
    edit([&](ProfileData &d) { d.retryAttempts = value; });
}

void Profile::setNote(const std::optional<QString> &value)
{
    edit([&](ProfileData &d) { d.note = value; });
}

void Profile::setPriority(qint16 value)
{
    edit([&](ProfileData &d) { d.priority = value; });
}

void Profile::setDeletedOn(const std::optional<QDateTime> &value)
{
    edit([&](ProfileData &d) { d.deletedOn = value; });
}

void Profile::setPinned(bool pinned)
{
    setPriority(pinned ? pinnedPriority : 0);
}

std::optional<QString> Profile::scriptUUID() const
{
    if (!m_data.uuid)
        return std::nullopt;
    return uuidText(*m_data.uuid);
}

QString Profile::displayName() const
{
    return m_data.name.value_or(localized("Unnamed"));
}

OptionDictionary Profile::sshOptions()
{
    if (auto options = stringOptions(m_data.options))
        return *options;
    edit([](ProfileData &d) { d.options = QJsonObject(); });
    return {};
}

OptionDictionary Profile::optionsForReading() const
{
    return stringOptions(m_data.options).value_or(OptionDictionary());
}

void Profile::setSSHOptions(const OptionDictionary &options)
{
    QJsonObject stored;
    for (auto it = options.constBegin(); it != options.constEnd(); ++it) {
        if (!it.value().isEmpty())
            stored.insert(it.key(), it.value());
    }
    edit([&](ProfileData &d) { d.options = stored; });
}

void Profile::setYesNoOption(std::optional<bool> value, const QString &key)
{
    setStringOption(value ? std::optional(*value ? u"yes"_s : u"no"_s) : std::nullopt, key);
}

void Profile::setStringOption(const std::optional<QString> &value, const QString &key)
{
    OptionDictionary options = sshOptions();
    if (value)
        options.insert(key, *value);
    else
        options.remove(key);
    setSSHOptions(options);
}

QList<Forwarding *> Profile::sortedForwardings() const
{
    QList<Forwarding *> sorted = m_forwardings;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Forwarding *a, const Forwarding *b) {
        return a->priority() < b->priority();
    });
    return sorted;
}

void Profile::addTag(Tag *tag)
{
    if (m_tags.contains(tag))
        return;
    QList<Tag *> tags = m_tags;
    tags.append(tag);
    setTags(tags);
}

void Profile::removeTag(Tag *tag)
{
    if (!m_tags.contains(tag))
        return;
    QList<Tag *> tags = m_tags;
    tags.removeOne(tag);
    setTags(tags);
}

void Profile::setTags(const QList<Tag *> &tags)
{
    ObjectContext *owner = context();
    owner->willChange(this);
    RecordAccess::linkTags(this, tags);
    owner->didChange(this);
    for (Tag *tag : tags)
        owner->didChange(tag);
}
