#pragma once

#include <QListView>
#include <QPersistentModelIndex>

// The sidebar's list: profiles dragged over it light up the tag they would land on, anywhere
// on its row, and only a tag takes them.
class SidebarView : public QListView
{
    Q_OBJECT

public:
    explicit SidebarView(QWidget *parent = nullptr);

    // The row that a drag over the view would drop on; invalid while there is none.
    QModelIndex dropTarget() const { return m_dropTarget; }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool offersDroppable(const QMimeData *data) const;
    void followDrag(QDragMoveEvent *event);
    void setDropTarget(const QModelIndex &index);
    void endDrag();

    QPersistentModelIndex m_dropTarget;
};
