#pragma once

#include <QStyledItemDelegate>

// Edits an option's value by its type: a choice offers the option's candidate values (and still
// takes any text, since the client may know more values than the catalogue), an integer takes
// digits only, anything else is free text.
class OptionValueDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
};
