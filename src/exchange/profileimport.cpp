#include "profileimport.h"

#include "localized.h"
#include "objectcontext.h"
#include "privatefiles.h"
#include "profile.h"
#include "profileimporter.h"
#include "profilejson.h"
#include "regularfiles.h"
#include "undostack.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

QString ProfileImportResult::message() const
{
    QString text = localized("%1 items was added").arg(added);
    if (replaced > 0)
        text += u", "_s + localized("%1 items were replaced").arg(replaced);
    if (skipped > 0)
        text += u", "_s + localized("%1 items were skipped").arg(skipped);
    return text + u'.';
}

QString conflictText(const QString &name)
{
    return localized("An item named “%1” already exists. Do you want to replace it with the one "
                     "you’re importing?")
        .arg(name);
}

QByteArray exportDocument(const QList<const Profile *> &profiles)
{
    QJsonArray array;
    for (const Profile *profile : profiles)
        array.append(profileJSON(*profile));
    const QJsonObject document{{u"appID"_s, u"io.vellssh.VellSSH"_s},
                               {u"appVersion"_s, QStringLiteral(VELLSSH_VERSION)},
                               {u"profiles"_s, array}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

Status writeExportFile(const QString &path, const QList<Profile *> &profiles)
{
    return writePrivateFile(path, exportDocument({profiles.cbegin(), profiles.cend()}));
}

Result<QJsonArray> importableProfiles(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (document.isNull())
        return Error(localized("The file is not JSON: %1 at character %2.")
                         .arg(error.errorString())
                         .arg(error.offset));
    if (document.isArray())
        return document.array();
    for (const QString &key : {u"hosts"_s, u"profiles"_s}) {
        if (document.object().value(key).isArray())
            return document.object().value(key).toArray();
    }
    return Error(localized("The file holds no list of profiles."));
}

Result<ProfileImportResult> importProfiles(const QString &path, ObjectContext &context,
                                           ConflictPolicy policy, ConflictQuestion ask)
{
    const Result<QByteArray> bytes = readRegularFile(path, maxImportBytes, Links::follow);
    if (!bytes)
        return Error(
            localized("The file “%1” could not be read: %2.").arg(path, bytes.error().message));
    return importProfileDocument(*bytes, QFileInfo(path).fileName(), context, policy,
                                 std::move(ask));
}

Result<ProfileImportResult> importProfileDocument(const QByteArray &bytes, const QString &name,
                                                  ObjectContext &context, ConflictPolicy policy,
                                                  ConflictQuestion ask)
{
    const auto profiles = importableProfiles(bytes);
    if (!profiles)
        return Error(name + u": "_s + profiles.error().message);

    UndoStack *undo = context.undoStack();
    if (undo)
        undo->beginUndoGrouping();
    ProfileImporter importer(context, policy, std::move(ask), profiles->size());
    for (const QJsonValue &value : *profiles)
        importer.importProfile(value.toObject());
    context.processPendingChanges();
    if (undo) {
        undo->setActionName(localized("Import from ") + name);
        undo->endUndoGrouping();
    }
    if (Status error = context.saveIfChanged())
        return *error;
    return importer.result();
}
