#pragma once

#include "profile.h"

#include <QList>
#include <QTreeView>

class ProfileListModel;

// The profile list: several columns, extended selection, profiles dragged out with both of
// their representations. When its model lays the rows out afresh (a new search, another
// sidebar item, a large merge) the profiles that were selected and still listed stay
// selected, and the current one stays in view. Interchange files dropped on it are handed on.
class ProfileListView : public QTreeView
{
    Q_OBJECT

public:
    explicit ProfileListView(QWidget *parent = nullptr);

    void setProfileModel(ProfileListModel *model);
    ProfileListModel *profileModel() const { return m_model; }

    // Sets how the columns share the width; call again after restoring the header's state, which
    // brings back the modes it was saved with.
    void fitColumns();

    QList<Profile *> selectedProfiles() const;
    // Selects exactly these profiles (those listed), makes the first current, and scrolls to
    // it when asked.
    void selectProfiles(const QList<Profile *> &profiles, bool scroll);

    // What the list says while it has no rows: a line, and a hint beneath it; none when empty.
    void setEmptyText(const QString &text, const QString &hint = {});
    QString emptyText() const { return m_emptyText; }

Q_SIGNALS:
    void selectedProfilesChanged(const QList<Profile *> &profiles);
    // Interchange files were dropped on the list.
    void filesDropped(const QStringList &paths);

protected:
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void rememberSelection();
    void restoreSelection();

    ProfileListModel *m_model = nullptr;
    QString m_emptyText;
    QString m_emptyHint;
    QList<Profile *> m_remembered;
    Profile *m_rememberedCurrent = nullptr;
};
