#include "transferableprofile.h"

#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileimporter.h"
#include "profilejson.h"
#include "queries.h"
#include "undostack.h"
#include "uuidtext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>
#include <QUuid>

using namespace Qt::StringLiterals;

const QString TransferableProfile::mimeType = u"application/x-vellssh-profiles+json"_s;

QString transferId()
{
    static const QString id = uuidText(QUuid::createUuid());
    return id;
}

TransferableProfile TransferableProfile::from(const Profile &profile,
                                              const InvocationInputs &inputs)
{
    QJsonObject json = profileJSON(profile);
    json.insert(u"transferId"_s, transferId());
    return {json, sshInvocation(profile, inputs).command};
}

QJsonObject TransferableProfile::codable() const
{
    return {{u"json"_s, json}, {u"profileCommand"_s, profileCommand}};
}

std::optional<TransferableProfile> TransferableProfile::fromCodable(const QJsonObject &object)
{
    if (!object.value(u"json"_s).isObject())
        return std::nullopt;
    return TransferableProfile{object.value(u"json"_s).toObject(),
                               object.value(u"profileCommand"_s).toString()};
}

std::unique_ptr<QMimeData> mimeData(const QList<TransferableProfile> &profiles)
{
    QJsonArray array;
    QStringList commands;
    for (const TransferableProfile &profile : profiles) {
        array.append(profile.codable());
        commands.append(profile.profileCommand);
    }
    auto data = std::make_unique<QMimeData>();
    data->setData(TransferableProfile::mimeType, QJsonDocument(array).toJson());
    data->setText(commands.join(u'\n'));
    return data;
}

QList<TransferableProfile> transferables(const QMimeData &data)
{
    QList<TransferableProfile> profiles;
    const QJsonArray array =
        QJsonDocument::fromJson(data.data(TransferableProfile::mimeType)).array();
    for (const QJsonValue &value : array) {
        if (auto profile = TransferableProfile::fromCodable(value.toObject()))
            profiles.append(*profile);
    }
    return profiles;
}

namespace {

Profile *liveProfile(const ObjectContext &context, const QString &uuid)
{
    const std::optional<QUuid> wanted = uuidFromText(uuid);
    for (Profile *profile : validProfiles(context, false)) {
        if (wanted && profile->uuid() == wanted)
            return profile;
    }
    return nullptr;
}

QString pasteName(const QList<Profile *> &pasted)
{
    if (pasted.size() == 1 && pasted.first()->name())
        return localized("Paste “%1”").arg(*pasted.first()->name());
    return pasted.size() == 1 ? localized("Paste Profile") : localized("Paste Profiles");
}

} // namespace

Status importTransferables(const QList<TransferableProfile> &profiles, ObjectContext &context,
                           Tag *tag, ConflictQuestion ask)
{
    UndoStack *undo = context.undoStack();
    if (undo)
        undo->beginUndoGrouping();
    ProfileImporter importer(context, ConflictPolicy::ask, std::move(ask), profiles.size());
    QList<Profile *> pasted;
    for (const TransferableProfile &profile : profiles) {
        Profile *source = profile.json.value(u"transferId"_s).toString() == transferId()
                              ? liveProfile(context, profile.json.value(u"uuid"_s).toString())
                              : nullptr;
        Profile *result =
            source ? duplicateProfile(source, context) : importer.importProfile(profile.json);
        if (!result)
            continue;
        if (tag)
            result->addTag(tag);
        pasted.append(result);
    }
    const bool changed = context.hasChanges();
    context.processPendingChanges();
    if (undo) {
        if (changed && !pasted.isEmpty())
            undo->setActionName(pasteName(pasted));
        undo->endUndoGrouping();
    }
    return context.saveIfChanged();
}
