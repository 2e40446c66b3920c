#pragma once

#include "result.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ObjectContext;
class PersistenceController;

constexpr int tagNotFoundCode = 1553;

// The store work of scripts and shortcuts: tagging, trashing, exporting and importing the
// profiles they name. Each request runs in a context of its own that saves as the application;
// what it saved is merged into the main context, so the window shows it at once and undoes
// nothing of it. Profiles are named by uuid or exact name, tags by name; surrounding blanks are
// ignored, and a name with a control character, an overlong one or an unknown one refuses the
// whole request.
class ProfileActions
{
public:
    explicit ProfileActions(PersistenceController &store) : m_store(store) {}

    Status addTags(const QStringList &profiles, const QStringList &tags);
    Status removeTags(const QStringList &profiles, const QStringList &tags);
    Status createTag(const QString &name);
    // Profiles that carried the tags lose them.
    Status deleteTags(const QStringList &tags);
    // Moves the profiles to the trash.
    Status deleteProfiles(const QStringList &profiles);
    // Writes "<baseName>.velltunnel" (blanks around the base name dropped) into exportFolder(),
    // mode 0600, replacing an older one; the path written.
    Result<QString> exportProfiles(const QStringList &profiles, const QString &baseName);
    // Profiles whose uuid is already there are replaced or kept; the result's sentence.
    Result<QString> importProfiles(const QString &file, bool replace);

    // $XDG_CACHE_HOME/VellSSH/Exports
    static QString exportFolder();
    // Refuses an empty base name and one that holds "/" or a control character.
    static Status validateBaseName(const QString &baseName);

private:
    Status tagProfiles(const QStringList &profiles, const QStringList &tags, bool adding);
    // Runs the edits in a fresh context and saves what they changed, unless they refused.
    Status perform(const std::function<Status(ObjectContext &)> &edits);

    PersistenceController &m_store;
};
