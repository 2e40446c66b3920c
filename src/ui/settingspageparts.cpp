#include "settingspageparts.h"

#include "messageboxwidth.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

QMessageBox *sheet(QWidget *page, const QString &objectName, QMessageBox::Icon icon,
                   const QString &title, const QString &text)
{
    auto *box = new QMessageBox(icon, title, text, QMessageBox::NoButton, page);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    widenForReading(*box);
    return box;
}

} // namespace

QMessageBox *showSettingsAlert(QWidget *page, const QString &objectName, const QString &title,
                               const QString &text)
{
    for (auto *shown : page->findChildren<QMessageBox *>(objectName, Qt::FindDirectChildrenOnly)) {
        if (shown->isVisible())
            return shown;
    }
    QMessageBox *box = sheet(page, objectName, QMessageBox::Warning, title, text);
    box->addButton(QMessageBox::Ok);
    box->open();
    return box;
}

void askSettingsQuestion(QWidget *page, const QString &objectName, const QString &title,
                         const QString &question, const QString &explanation, const QString &action,
                         const std::function<void()> &proceed)
{
    QMessageBox *box = sheet(page, objectName, QMessageBox::Warning, title, question);
    box->setInformativeText(explanation);
    QPushButton *destructive = box->addButton(action, QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    QObject::connect(box, &QMessageBox::buttonClicked, page,
                     [destructive, proceed](QAbstractButton *clicked) {
                         if (clicked == destructive)
                             proceed();
                     });
    box->open();
}

QAction *makeListAction(QWidget *list, const QString &name, const QString &text,
                        const QString &icon, const QKeySequence &keys)
{
    auto *action = new QAction(QIcon::fromTheme(icon), text, list);
    action->setObjectName(name);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetShortcut);
    if (!keys.isEmpty())
        action->setToolTip(u"%1 (%2)"_s.arg(text, keys.toString(QKeySequence::NativeText)));
    list->addAction(action);
    return action;
}

QWidget *makeListButtons(const QList<std::pair<QAction *, QString>> &actions)
{
    auto *buttons = new QWidget;
    auto *row = new QHBoxLayout(buttons);
    row->setContentsMargins({});
    for (const auto &[action, label] : actions) {
        action->setIconText(label);
        auto *button = new QToolButton;
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAccessibleName(action->text());
        button->setObjectName(action->objectName());
        button->setMinimumSize(80, 28);
        row->addWidget(button);
    }
    row->addStretch();
    return buttons;
}

void setUpEntryList(QTreeView *list, QAbstractItemModel *model, const QString &accessibleName,
                    const QSize &minimumSize)
{
    list->setModel(model);
    list->setAccessibleName(accessibleName);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    list->setMinimumSize(minimumSize);
}
