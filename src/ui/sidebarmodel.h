#pragma once

#include "queries.h"
#include "result.h"

#include <QAbstractItemModel>
#include <QList>

class ObjectContext;
class Tag;
class QMimeData;
struct ObjectsDidChange;
struct TransferableProfile;

// The sidebar of the main window: All, every tag by name, Untagged and Recently Deleted. Tags
// are renamed in place, and profiles dropped on a tag get that tag. It follows the context's
// changes row by row, whoever made them.
class SidebarModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit SidebarModel(ObjectContext *context, QObject *parent = nullptr);

    SidebarItem itemAt(const QModelIndex &index) const;
    QModelIndex indexOf(const SidebarItem &item) const;
    Tag *tagAt(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

Q_SIGNALS:
    // A rename was refused ("Tag names can't be blank.", "Tag name conflict"); the tag keeps
    // its name.
    void tagNameRejected(const Error &error);
    // Saving an edit made here failed.
    void editFailed(const Error &error);

private:
    // All, the tags, Untagged, Recently Deleted.
    static constexpr int fixedRowsBefore = 1;
    static constexpr int fixedRowsAfter = 2;

    void objectsChanged(const ObjectsDidChange &change);
    void placeTag(Tag *tag);
    void removeTag(Tag *tag);
    qsizetype sortedPosition(const Tag *tag) const;
    Status tagProfiles(Tag *tag, const QList<TransferableProfile> &profiles);

    ObjectContext *m_context;
    QList<Tag *> m_tags;
};
