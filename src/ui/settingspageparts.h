#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <utility>

class QAction;
class QKeySequence;
class QAbstractItemModel;
class QMessageBox;
class QSize;
class QTreeView;
class QWidget;

// What the settings pages that list files share: their alerts and questions, and the actions
// and buttons of their lists.

// Alerts and questions are sheets on the page's window that leave the event loop running. An
// alert of a name already on screen is not stacked on top of itself.
QMessageBox *showSettingsAlert(QWidget *page, const QString &objectName, const QString &title,
                               const QString &text);
// Calls proceed only when the user picks the destructive action.
void askSettingsQuestion(QWidget *page, const QString &objectName, const QString &title,
                         const QString &question, const QString &explanation, const QString &action,
                         const std::function<void()> &proceed);

// A page's list of entries: whole rows, several at once, its actions as context menu.
void setUpEntryList(QTreeView *list, QAbstractItemModel *model, const QString &accessibleName,
                    const QSize &minimumSize);
// An action of a page's list: its keys work while the list has the focus, where Delete and
// Copy mean the selected rows. The name is the action's object name.
QAction *makeListAction(QWidget *list, const QString &name, const QString &text,
                        const QString &icon, const QKeySequence &keys);
// A button under the list showing the action's short label; it follows the action's state.
QWidget *makeListButtons(const QList<std::pair<QAction *, QString>> &actions);
