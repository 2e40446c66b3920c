#include "profilelistview.h"

#include "profilelistmodel.h"
#include "singleinstance.h"
#include "stateicons.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
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
    // Only files come in; rows are never dropped back.
    setAcceptDrops(true);
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
    header()->resizeSection(ProfileListModel::statusColumn, 160);
}

// The name, the server and the forwardings share what the status leaves, so that the columns
// fit beside the inspector and long texts are elided rather than scrolled to.
void ProfileListView::fitColumns()
{
    QHeaderView *columns = header();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(ProfileListModel::nameColumn, QHeaderView::Stretch);
    columns->setSectionResizeMode(ProfileListModel::serverColumn, QHeaderView::Stretch);
    columns->setSectionResizeMode(ProfileListModel::forwardingsColumn, QHeaderView::Stretch);
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

void ProfileListView::setEmptyText(const QString &text, const QString &hint)
{
    m_emptyText = text;
    m_emptyHint = hint;
    viewport()->update();
}

void ProfileListView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    if (m_emptyText.isEmpty() || (model() && model()->rowCount() > 0))
        return;
    QPainter painter(viewport());
    const QRect area = viewport()->rect().adjusted(24, 0, -24, 0);
    QFont title = font();
    title.setPointSizeF(title.pointSizeF() * 1.3);
    const QFontMetrics titleMetrics(title);
    const QRect hintRect =
        fontMetrics().boundingRect(area, Qt::AlignHCenter | Qt::TextWordWrap, m_emptyHint);
    const int height = titleMetrics.height() + (m_emptyHint.isEmpty() ? 0 : 6 + hintRect.height());
    int top = area.top() + std::max(0, (area.height() - height) / 3);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.setFont(title);
    painter.drawText(QRect(area.left(), top, area.width(), titleMetrics.height()), Qt::AlignHCenter,
                     m_emptyText);
    top += titleMetrics.height() + 6;
    painter.setFont(font());
    painter.drawText(QRect(area.left(), top, area.width(), hintRect.height()),
                     Qt::AlignHCenter | Qt::TextWordWrap, m_emptyHint);
}

namespace {

QStringList droppedFiles(const QMimeData *data)
{
    QStringList files;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && SingleInstance::isInterchangeFile(url.toLocalFile()))
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

void ProfileListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void ProfileListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (droppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void ProfileListView::dropEvent(QDropEvent *event)
{
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty())
        return event->ignore();
    event->acceptProposedAction();
    Q_EMIT filesDropped(files);
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
