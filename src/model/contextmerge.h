#pragma once

#include "result.h"

#include <QList>
#include <QString>

class ManagedObject;
class ObjectContext;
class Profile;
class Tag;
class UndoRecorder;
struct ContextState;
struct ObjectChange;
struct ProfileRow;
struct ForwardingRow;
struct TagRow;

// Brings into a context what other connections committed. Attributes and relationships edited
// here and not saved yet keep their edited values; of a dictionary, the keys edited here; of a
// profile's tags, the tags added or removed here. Merged changes never become undoable steps.
class ContextMerge
{
public:
    ContextMerge(ObjectContext &context, ContextState &state, UndoRecorder &undo)
        : m_context(context), m_state(state), m_undo(undo)
    {}

    // Merges the history transactions committed after the token; gives the newest one merged.
    Result<qint64> mergeCommitted(qint64 token);
    Status merge(const QList<ObjectChange> &changes);
    // A tag made here and not saved gives way to a saved one of the same name, so that a name
    // stays one tag when another writer made it meanwhile.
    void adoptCommittedTags();

private:
    struct Batch;

    Status mergeRows(Batch &batch);
    void mergeTags(Batch &batch, const QList<TagRow> &rows);
    void mergeProfiles(Batch &batch, const QList<ProfileRow> &rows);
    void mergeForwardings(Batch &batch, const QList<ForwardingRow> &rows);
    void mergeTagParents(const QList<TagRow> &rows);
    Status mergeTagLinks(Batch &batch);
    QList<Tag *> mergedTags(Profile *profile, const QList<Tag *> &incoming);
    void removeGone(Batch &batch);
    void announce(Batch &batch);
    template<class Object>
    Object *mergedObject(Batch &batch, qint64 id);

    void remove(ManagedObject *object);
    void unlink(ManagedObject *object);
    void unlinkRemovedTag(Tag *tag);
    void replaceTag(Tag *made, Tag *existing);
    Tag *committedTagNamed(const QString &name, const Tag *except) const;

    ObjectContext &m_context;
    ContextState &m_state;
    UndoRecorder &m_undo;
};
