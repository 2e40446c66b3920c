#include "profileactions.h"

#include "localized.h"
#include "namearguments.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "privatefiles.h"
#include "profile.h"
#include "profileimport.h"
#include "queries.h"
#include "tag.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

Result<QList<Tag *>> resolveTags(const ObjectContext &context, const QStringList &texts)
{
    const auto names = nameArguments(texts);
    if (!names)
        return names.error();
    QList<Tag *> tags;
    for (const QString &name : *names) {
        Tag *tag = tagNamed(name, context);
        if (!tag)
            return Error(noTagMessage(name), {}, tagNotFoundCode);
        if (!tags.contains(tag))
            tags.append(tag);
    }
    return tags;
}

Result<QList<Profile *>> namedProfiles(const ObjectContext &context, const QStringList &texts)
{
    const auto references = nameArguments(texts);
    if (!references)
        return references.error();
    return resolveProfiles(context, *references);
}

Error withSuggestion(const Error &error)
{
    if (error.recoverySuggestion.isEmpty())
        return error;
    return Error(error.message + u' ' + error.recoverySuggestion, {}, error.code);
}

} // namespace

Status ProfileActions::perform(const std::function<Status(ObjectContext &)> &edits)
{
    ObjectContext *main = m_store.mainContext();
    // An undo step of the main context that is still open is closed first, so that the merge
    // of what this request saves never lands inside the user's step.
    main->processPendingChanges();
    auto context = m_store.newContext();
    if (!context)
        return context.error();
    ObjectContext &scratch = **context;
    QObject::connect(
        &scratch, &ObjectContext::didSave, main,
        [main](const QList<ObjectChange> &changes) { (void)main->mergeChanges(changes); });
    if (Status refusal = edits(scratch))
        return withSuggestion(*refusal);
    if (Status error = scratch.saveIfChanged())
        return withSuggestion(*error);
    return std::nullopt;
}

Status ProfileActions::tagProfiles(const QStringList &profiles, const QStringList &tags,
                                   bool adding)
{
    return perform([&](ObjectContext &context) -> Status {
        const auto resolved = namedProfiles(context, profiles);
        if (!resolved)
            return resolved.error();
        const auto found = resolveTags(context, tags);
        if (!found)
            return found.error();
        for (Profile *profile : *resolved) {
            for (Tag *tag : *found) {
                if (adding)
                    profile->addTag(tag);
                else
                    profile->removeTag(tag);
            }
        }
        return std::nullopt;
    });
}

Status ProfileActions::addTags(const QStringList &profiles, const QStringList &tags)
{
    return tagProfiles(profiles, tags, true);
}

Status ProfileActions::removeTags(const QStringList &profiles, const QStringList &tags)
{
    return tagProfiles(profiles, tags, false);
}

Status ProfileActions::createTag(const QString &name)
{
    return perform([&](ObjectContext &context) -> Status {
        const auto checked = nameArgument(name);
        if (!checked)
            return checked.error();
        if (Status error = validateTagName(*checked, nullptr, context))
            return error;
        context.insertTag()->setName(*checked);
        return std::nullopt;
    });
}

Status ProfileActions::deleteTags(const QStringList &tags)
{
    return perform([&](ObjectContext &context) -> Status {
        const auto found = resolveTags(context, tags);
        if (!found)
            return found.error();
        for (Tag *tag : *found)
            context.deleteObject(tag);
        return std::nullopt;
    });
}

Status ProfileActions::deleteProfiles(const QStringList &profiles)
{
    return perform([&](ObjectContext &context) -> Status {
        const auto resolved = namedProfiles(context, profiles);
        if (!resolved)
            return resolved.error();
        moveToTrash(*resolved);
        return std::nullopt;
    });
}

Result<QString> ProfileActions::exportProfiles(const QStringList &profiles, const QString &text)
{
    const QString baseName = text.trimmed();
    if (Status error = validateBaseName(baseName))
        return *error;
    const QString folder = exportFolder();
    QDir().mkpath(QFileInfo(folder).path());
    if (Status error = makePrivateFolder(folder))
        return *error;
    const QString path = folder + u'/' + baseName + u".velltunnel"_s;
    const Status written = perform([&](ObjectContext &context) -> Status {
        const auto resolved = namedProfiles(context, profiles);
        if (!resolved)
            return resolved.error();
        if (Status error = writeExportFile(path, *resolved))
            return Error(localized("“%1” could not be written: %2").arg(path, error->message));
        return std::nullopt;
    });
    if (written)
        return *written;
    return path;
}

Result<QString> ProfileActions::importProfiles(const QString &file, bool replace)
{
    std::optional<QString> message;
    const Status done = perform([&](ObjectContext &context) -> Status {
        const auto result = ::importProfiles(
            file, context, replace ? ConflictPolicy::replaceAll : ConflictPolicy::skipAll);
        if (!result)
            return result.error();
        message = result->message();
        return std::nullopt;
    });
    if (done)
        return *done;
    return *message;
}

QString ProfileActions::exportFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           u"/VellSSH/Exports"_s;
}

Status ProfileActions::validateBaseName(const QString &baseName)
{
    const bool control = std::any_of(baseName.cbegin(), baseName.cend(),
                                     [](QChar c) { return c.category() == QChar::Other_Control; });
    if (baseName.trimmed().isEmpty() || baseName.contains(u'/') || control)
        return Error(localized("“%1” cannot name a file: a file name must not be empty or hold "
                               "“/” or control characters.")
                         .arg(baseName),
                     {}, validationErrorCode);
    return std::nullopt;
}
