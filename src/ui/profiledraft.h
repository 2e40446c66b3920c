#pragma once

#include "profileeditingmode.h"
#include "records.h"
#include "result.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <memory>
#include <optional>

class ObjectContext;
class PersistenceController;
class Profile;
class Tag;

// The profile that one editor works on. It lives in a scratch context of its own on the store,
// so that nothing the editor does reaches the main context before Save, and Cancel has nothing
// to take back. Save writes the draft into the main context as one undo step. While the editor
// is open, what other writers commit is merged into the draft: attributes the user has not
// touched take the new values, edited ones stay.
class ProfileDraft : public QObject
{
    Q_OBJECT

public:
    // A new profile, tagged with the tag of that uuid when there is one.
    static Result<std::unique_ptr<ProfileDraft>> forNewProfile(PersistenceController &store,
                                                               const std::optional<QUuid> &tag);
    static Result<std::unique_ptr<ProfileDraft>> forProfile(PersistenceController &store,
                                                            const QUuid &profile);
    // A copy of the profile, named as copies are, that becomes a profile on Save.
    static Result<std::unique_ptr<ProfileDraft>> forCopyOf(PersistenceController &store,
                                                           const QUuid &source);

    ProfileDraft(PersistenceController &store, std::unique_ptr<ObjectContext> scratch,
                 Profile *profile, ProfileEditingMode mode);
    ~ProfileDraft() override;

    ProfileEditingMode mode() const { return m_mode; }
    ObjectContext &context() const { return *m_scratch; }
    Profile *profile() const { return m_profile; }
    QUuid uuid() const;
    // The name the profile carries in the store; a profile that keeps it may be saved even when
    // another profile has the same name.
    const std::optional<QString> &savedName() const { return m_savedName; }

    // Checks the draft against the rules and the store as it is now, then writes it into the
    // main context as one undo step named after the mode and saves the main context.
    Status save();
    // Merges now what other writers committed; done on its own whenever the main context
    // changes.
    void catchUp();

Q_SIGNALS:
    // Outside changes were merged into the draft; changedElsewhere tells whether they touched
    // the profile or its forwardings.
    void refreshed(bool changedElsewhere);
    // The profile was deleted elsewhere: the draft keeps its values and now makes a new one.
    void profileGone();
    // The profile was moved to the trash elsewhere while being edited: saving brings it back.
    void profileTrashed();

private:
    struct Remembered
    {
        ProfileData data;
        QList<ForwardingData> forwardings;
        QList<Tag *> tags;
    };
    void scheduleCatchUp();
    void remember();
    void recreate();
    Profile *writeInto(ObjectContext &main) const;

    PersistenceController &m_store;
    std::unique_ptr<ObjectContext> m_scratch;
    Profile *m_profile;
    ProfileEditingMode m_mode;
    std::optional<QString> m_savedName;
    Remembered m_remembered;
    bool m_catchUpScheduled = false;
    bool m_saving = false;
    bool m_trashedAtStart;
};
