#include "profileedit.h"

#include "forwarding.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "queries.h"
#include "tag.h"

#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

std::optional<QString> unlessEmpty(const QString &text)
{
    return text.isEmpty() ? std::nullopt : std::optional(text);
}

// Refuses the edit before anything changes when one of its new tag names is not acceptable.
Status checkTagNames(const QStringList &names, const ObjectContext &context)
{
    for (const QString &name : names) {
        if (tagNamed(name, context))
            continue;
        if (Status error = validateTagName(name, nullptr, context))
            return error;
    }
    return std::nullopt;
}

void applyFields(const ProfileEdit &edit, Profile &profile)
{
    if (edit.name)
        profile.setName(edit.name->trimmed());
    if (edit.host)
        profile.setAddress(edit.host->trimmed());
    if (edit.port)
        profile.setPort(*edit.port);
    if (edit.user)
        profile.setUser(edit.user->trimmed());
    if (edit.privateKeyName)
        profile.setPrivateKeyName(unlessEmpty(*edit.privateKeyName));
    if (edit.certificateName)
        profile.setCertificateName(unlessEmpty(*edit.certificateName));
    if (edit.note)
        profile.setNote(unlessEmpty(*edit.note));
    if (edit.retryAttempts)
        profile.setRetryAttempts(*edit.retryAttempts);
    if (edit.pinned)
        profile.setPinned(*edit.pinned);
    if (edit.autoConnect)
        profile.setAutoConnect(*edit.autoConnect);
}

void applyOptions(const QList<std::pair<QString, QString>> &changes, Profile &profile)
{
    if (changes.isEmpty())
        return;
    OptionDictionary options = profile.sshOptions();
    for (const auto &[key, value] : changes) {
        if (value.isEmpty())
            options.remove(key);
        else
            options.insert(key, value);
    }
    profile.setSSHOptions(options);
}

} // namespace

Result<ProfileEdit::Applied> ProfileEdit::apply(ObjectContext &context, Profile &profile) const
{
    if (Status error = checkTagNames(tags, context))
        return *error;
    applyFields(*this, profile);
    applyOptions(options, profile);
    if (clearForwardings)
        removeForwardings(context, profile.forwardings());
    Applied applied;
    for (const ForwardingData &data : forwardings)
        applied.forwardings.append(appendForwarding(context, profile, data));
    for (const QString &name : tags) {
        Tag *tag = tagNamed(name, context);
        if (!tag) {
            tag = *tagForName(context, name);
            applied.createdTags.append(tag);
        }
        profile.addTag(tag);
    }
    return applied;
}

Result<std::optional<QString>> keyNameInFolder(const QString &file, const QString &keyFolder)
{
    if (file.isEmpty())
        return std::optional<QString>();
    const QFileInfo info(file);
    if (file.contains(u'/') && info.absolutePath() != QFileInfo(keyFolder).absoluteFilePath())
        return Error(localized("“%1” is not in %2: keys are chosen by their file name there.")
                         .arg(file, keyFolder));
    return std::optional(info.fileName());
}

Result<Tag *> tagForName(ObjectContext &context, const QString &name)
{
    if (Tag *tag = tagNamed(name, context))
        return tag;
    if (Status error = validateTagName(name, nullptr, context))
        return *error;
    Tag *tag = context.insertTag();
    tag->setName(name);
    return tag;
}

Status setTagNames(ObjectContext &context, Profile &profile, const QStringList &names)
{
    if (Status error = checkTagNames(names, context))
        return error;
    QList<Tag *> tags;
    for (const QString &name : names) {
        Tag *tag = *tagForName(context, name);
        if (!tags.contains(tag))
            tags.append(tag);
    }
    profile.setTags(tags);
    return std::nullopt;
}

qint16 nextForwardingPriority(const Profile &profile)
{
    qint16 priority = 0;
    for (const Forwarding *forwarding : profile.forwardings())
        priority = std::max<qint16>(priority, forwarding->priority() + 1);
    return priority;
}

Forwarding *appendForwarding(ObjectContext &context, Profile &profile, const ForwardingData &data)
{
    const qint16 priority = nextForwardingPriority(profile);
    Forwarding *forwarding = context.insertForwarding();
    forwarding->edit([&](ForwardingData &d) {
        const std::optional<QUuid> uuid = d.uuid;
        d = data;
        d.uuid = uuid;
        d.priority = priority;
    });
    forwarding->setProfile(&profile);
    return forwarding;
}

void moveForwarding(Profile &profile, Forwarding *forwarding, qsizetype to)
{
    QList<Forwarding *> sorted = profile.sortedForwardings();
    const qsizetype from = sorted.indexOf(forwarding);
    Q_ASSERT(from >= 0 && to >= 0 && to < sorted.size());
    sorted.move(from, to);
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        if (sorted[i]->priority() != i)
            sorted[i]->edit([i](ForwardingData &d) { d.priority = qint16(i); });
    }
}

void removeForwardings(ObjectContext &context, const QList<Forwarding *> &forwardings)
{
    // A copy: deleting a forwarding takes it out of its profile's list, which may be this one.
    const QList<Forwarding *> doomed = forwardings;
    for (Forwarding *forwarding : doomed)
        context.deleteObject(forwarding);
}
