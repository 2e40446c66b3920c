#include "optionvaluedelegate.h"

#include "localized.h"
#include "optioncataloguemodel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>

using namespace Qt::StringLiterals;

QWidget *OptionValueDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                           const QModelIndex &index) const
{
    const auto *model = qobject_cast<const OptionCatalogueModel *>(index.model());
    const SSHClientConfig::Option *option = model ? model->option(index) : nullptr;
    if (!option)
        return nullptr;
    const QString placeholder = index.data(Qt::DisplayRole).toString();
    if (option->type == SSHClientConfig::ValueType::choice) {
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItem(QString());
        combo->addItems(option->candidateValues);
        combo->lineEdit()->setPlaceholderText(placeholder);
        combo->setAccessibleName(localized("Value of %1").arg(option->name));
        return combo;
    }
    auto *edit = new QLineEdit(parent);
    edit->setPlaceholderText(placeholder);
    edit->setAccessibleName(localized("Value of %1").arg(option->name));
    if (option->type == SSHClientConfig::ValueType::integer)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(u"[0-9]*"_s), edit));
    return edit;
}

void OptionValueDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QString value = index.data(Qt::EditRole).toString();
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        combo->setEditText(value);
    else if (auto *edit = qobject_cast<QLineEdit *>(editor))
        edit->setText(value);
}

void OptionValueDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                       const QModelIndex &index) const
{
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        model->setData(index, combo->currentText());
    else if (auto *edit = qobject_cast<QLineEdit *>(editor))
        model->setData(index, edit->text());
}
