#pragma once

#include "managedobject.h"
#include "records.h"

#include <QList>
#include <QMap>

#include <functional>

class Forwarding;
class Tag;

using OptionDictionary = QMap<QString, QString>;

// The option texts that read as true, compared exactly.
bool isTruthyOptionValue(const QString &value);

// The options of a stored dictionary, or nothing when it holds a value that is not text.
std::optional<OptionDictionary> stringOptions(const std::optional<QJsonObject> &options);

class Profile final : public ManagedObject
{
public:
    Profile(RecordKey key, ObjectContext *context) : ManagedObject(key, context, Entity::profile) {}

    static constexpr qint16 pinnedPriority = 32767;

    const ProfileData &data() const { return m_data; }
    const std::optional<QUuid> &uuid() const { return m_data.uuid; }
    const std::optional<QString> &name() const { return m_data.name; }
    const std::optional<QString> &address() const { return m_data.address; }
    qint32 port() const { return m_data.port; }
    const std::optional<QString> &user() const { return m_data.user; }
    const std::optional<QString> &privateKeyName() const { return m_data.privateKeyName; }
    const std::optional<QString> &certificateName() const { return m_data.certificateName; }
    const std::optional<QJsonObject> &options() const { return m_data.options; }
    bool autoConnect() const { return m_data.autoConnect; }
    qint16 retryAttempts() const { return m_data.retryAttempts; }
    const std::optional<QString> &note() const { return m_data.note; }
    qint16 priority() const { return m_data.priority; }
    const std::optional<QDateTime> &deletedOn() const { return m_data.deletedOn; }

    // Every attribute change goes through here, so that the context records it.
    void edit(const std::function<void(ProfileData &)> &change);
    void setName(const std::optional<QString> &value);
    void setAddress(const std::optional<QString> &value);
    void setPort(qint32 value);
    void setUser(const std::optional<QString> &value);
    void setPrivateKeyName(const std::optional<QString> &value);
    void setCertificateName(const std::optional<QString> &value);
    void setAutoConnect(bool value);
    void setRetryAttempts(qint16 value);
    void setNote(const std::optional<QString> &value);
    void setPriority(qint16 value);
    void setDeletedOn(const std::optional<QDateTime> &value);

    bool pinned() const { return m_data.priority == pinnedPriority; }
    void setPinned(bool pinned);
    bool isInTrash() const { return m_data.deletedOn.has_value(); }
    std::optional<QString> scriptUUID() const;
    // The name to show: the stored one, or "Unnamed".
    QString displayName() const;

    // The options as text. Options that are missing or hold other values are replaced by an
    // empty dictionary first, so the stored form is mended on the first read.
    OptionDictionary sshOptions();
    // The options as text without mending them (for readers that must not write).
    OptionDictionary optionsForReading() const;
    void setYesNoOption(std::optional<bool> value, const QString &key);
    void setStringOption(const std::optional<QString> &value, const QString &key);
    // Stores a whole dictionary; empty values are dropped.
    void setSSHOptions(const OptionDictionary &options);

    const QList<Forwarding *> &forwardings() const { return m_forwardings; }
    // Forwardings in ascending priority; equal priorities keep their relationship order.
    QList<Forwarding *> sortedForwardings() const;
    const QList<Tag *> &tags() const { return m_tags; }
    bool hasTag(const Tag *tag) const { return m_tags.contains(tag); }
    void addTag(Tag *tag);
    void removeTag(Tag *tag);
    void setTags(const QList<Tag *> &tags);

private:
    friend class RecordAccess;

    ProfileData m_data;
    QList<Tag *> m_tags;
    QList<Forwarding *> m_forwardings;
};
