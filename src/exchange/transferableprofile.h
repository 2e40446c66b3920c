#pragma once

#include "profileimport.h"
#include "result.h"
#include "sshinvocation.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

class ObjectContext;
class Profile;
class QMimeData;
class Tag;

// One copied or dragged profile: its interchange JSON with this run's "transferId", and the
// equivalent ssh command for whoever only takes text.
struct TransferableProfile
{
    // The MIME type of the JSON form: an array of {"json": profile, "profileCommand": text}.
    static const QString mimeType;

    QJsonObject json;
    QString profileCommand;

    static TransferableProfile from(const Profile &profile, const InvocationInputs &inputs);
    QJsonObject codable() const;
    static std::optional<TransferableProfile> fromCodable(const QJsonObject &object);

    friend bool operator==(const TransferableProfile &, const TransferableProfile &) = default;
};

// The same random uuid for every profile that leaves this running application.
QString transferId();

// Both representations: the JSON form, and text/plain with one command per line.
std::unique_ptr<QMimeData> mimeData(const QList<TransferableProfile> &profiles);
QList<TransferableProfile> transferables(const QMimeData &data);

// Pastes or drops profiles: one that left this same run and still exists comes in as a copy,
// any other is imported by uuid (for an existing one the question decides; without one it is
// skipped); each one gets the tag when given.
// One undo step ("Paste “name”", "Paste Profile" or "Paste Profiles"), saved when anything
// changed.
Status importTransferables(const QList<TransferableProfile> &profiles, ObjectContext &context,
                           Tag *tag = nullptr, ConflictQuestion ask = {});
