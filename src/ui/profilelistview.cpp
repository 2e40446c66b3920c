#include "profilelistview.h"

#include "profilelistmodel.h"
#include "stateicons.h"

#include <QHeaderView>
#include <QSet>

ProfileListView::ProfileListView(QWidget *parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setIconSize(stateIconSize);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->setSectionsMovable(false);
}

void ProfileListView::setProfileModel(ProfileListModel *model)
{
    m_model = model;
    setModel(model);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            &ProfileListView::rememberSelection);
    connect(model, &QAbstractItemModel::modelReset, this, &ProfileListView::restoreSelection);
    fitColumns();
    header()->resizeSection(ProfileListModel::forwardingsColumn, 200);
    header()->resizeSection(ProfileListModel::statusColumn, 170);
}

// The name and the server share what the other two leave, so that the columns fit beside the
// inspector and long texts are elided rather than scrolled to.
void ProfileListView::fitColumns()
{
    QHeaderView *columns = header();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(ProfileListModel::nameColumn, QHeaderView::Stretch);
    columns->setSectionResizeMode(ProfileListModel::serverColumn, QHeaderView::Stretch);
    columns->setSectionResizeMode(ProfileListModel::forwardingsColumn, QHeaderView::Interactive);
    columns->setSectionResizeMode(ProfileListModel::statusColumn, QHeaderView::Interactive);
}

QList<Profile *> ProfileListView::selectedProfiles() const
{
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<Profile *> profiles;
    for (int row : std::as_const(rows))
        profiles.append(m_model->profiles().at(row));
    return profiles;
}

void ProfileListView::selectProfiles(const QList<Profile *> &profiles, bool scroll)
{
    const QSet<const Profile *> wanted(profiles.cbegin(), profiles.cend());
    const int lastColumn = ProfileListModel::columnTotal - 1;
    QItemSelection selection;
    QModelIndex first;
    const QList<Profile *> &rows = m_model->profiles();
    for (int row = 0; row < rows.size(); ++row) {
        if (!wanted.contains(rows.at(row)))
            continue;
        const QModelIndex index = m_model->index(row, 0);
        // Neighbouring rows make one range, so that a large selection stays cheap.
        if (!selection.isEmpty() && selection.last().bottom() == row - 1)
            selection.last() =
                QItemSelectionRange(selection.last().topLeft(), m_model->index(row, lastColumn));
        else
            selection.append(QItemSelectionRange(index, m_model->index(row, lastColumn)));
        if (!first.isValid())
            first = index;
    }
    const QModelIndex current =
        profiles.isEmpty() ? QModelIndex() : m_model->indexOf(profiles.first());
    selectionModel()->setCurrentIndex(current.isValid() ? current : first,
                                      QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (scroll && currentIndex().isValid())
        scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
}

void ProfileListView::selectionChanged(const QItemSelection &selected,
                                       const QItemSelection &deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    Q_EMIT selectedProfilesChanged(selectedProfiles());
}

void ProfileListView::rememberSelection()
{
    m_remembered = selectedProfiles();
    m_rememberedCurrent = m_model->profileAt(currentIndex());
}

void ProfileListView::restoreSelection()
{
    QList<Profile *> profiles = std::exchange(m_remembered, {});
    Profile *current = std::exchange(m_rememberedCurrent, nullptr);
    if (current && profiles.removeOne(current))
        profiles.prepend(current);
    if (!profiles.isEmpty())
        selectProfiles(profiles, false);
    if (currentIndex().isValid())
        scrollTo(currentIndex());
    // A reset drops the selection without a word: those who follow it hear of what is left.
    Q_EMIT selectedProfilesChanged(selectedProfiles());
}
