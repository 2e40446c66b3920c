#include "sidebarview.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPainter>

#include <algorithm>

SidebarView::SidebarView(QWidget *parent) : QListView(parent)
{
    setDragDropMode(QAbstractItemView::DropOnly);
    setDefaultDropAction(Qt::CopyAction);
    // The whole row is the target, lit by this view; the thin lines between rows would offer
    // places that take nothing.
    setDropIndicatorShown(false);
}

bool SidebarView::offersDroppable(const QMimeData *data) const
{
    if (!data || !model())
        return false;
    const QStringList types = model()->mimeTypes();
    return std::any_of(types.cbegin(), types.cend(),
                       [data](const QString &type) { return data->hasFormat(type); });
}

// Entering over a row that takes nothing (All) must not end the drag: a tag may come next.
void SidebarView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!offersDroppable(event->mimeData()))
        return event->ignore();
    setState(DraggingState);
    followDrag(event);
    event->accept();
}

void SidebarView::dragMoveEvent(QDragMoveEvent *event)
{
    // The base view scrolls near the edges; whether the drop is taken is decided here.
    QListView::dragMoveEvent(event);
    followDrag(event);
}

void SidebarView::followDrag(QDragMoveEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool takes = index.isValid() && offersDroppable(event->mimeData()) &&
                       model()->canDropMimeData(event->mimeData(), Qt::CopyAction, -1, -1, index);
    setDropTarget(takes ? index : QModelIndex());
    if (takes) {
        event->setDropAction(Qt::CopyAction);
        event->accept(visualRect(index));
    } else {
        event->ignore();
    }
}

void SidebarView::dragLeaveEvent(QDragLeaveEvent *event)
{
    QListView::dragLeaveEvent(event);
    endDrag();
}

void SidebarView::dropEvent(QDropEvent *event)
{
    const QModelIndex target = m_dropTarget;
    endDrag();
    if (target.isValid() &&
        model()->dropMimeData(event->mimeData(), Qt::CopyAction, -1, -1, target)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SidebarView::endDrag()
{
    stopAutoScroll();
    setState(NoState);
    setDropTarget({});
}

void SidebarView::setDropTarget(const QModelIndex &index)
{
    if (QModelIndex(m_dropTarget) == index)
        return;
    m_dropTarget = index;
    viewport()->update();
}

void SidebarView::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (!m_dropTarget.isValid())
        return;
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF row = QRectF(visualRect(m_dropTarget)).adjusted(1, 1, -1, -1);
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlphaF(0.25);
    painter.setBrush(fill);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRoundedRect(row, 4, 4);
}
