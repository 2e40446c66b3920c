#include "forwardingeditor.h"

#include "editorfields.h"
#include "forwardingform.h"
#include "forwardinglistmodel.h"
#include "localized.h"
#include "profilevalidationform.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

ForwardingEditor::ForwardingEditor(QWidget *parent) : QWidget(parent)
{
    m_model = new ForwardingListModel(this);
    m_list = new QListView;
    m_list->setModel(m_model);
    m_list->setAccessibleName(localized("Port Forwardings"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setDropIndicatorShown(true);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_list->setMinimumWidth(260);
    m_list->setUniformItemSizes(true);

    m_add = makeAction(localized("Add Port Forwarding"), u"list-add"_s, QKeySequence::New);
    m_remove =
        makeAction(localized("Remove Port Forwarding"), u"list-remove"_s, QKeySequence::Delete);
    m_duplicate = makeAction(localized("Duplicate Port Forwarding"), u"edit-copy"_s,
                             QKeySequence(Qt::CTRL | Qt::Key_D));
    m_moveUp = makeAction(localized("Move Up"), u"go-up"_s, QKeySequence(Qt::ALT | Qt::Key_Up));
    m_moveDown =
        makeAction(localized("Move Down"), u"go-down"_s, QKeySequence(Qt::ALT | Qt::Key_Down));
    m_copy = makeAction(localized("Copy as SSH Arguments"), u"edit-copy"_s, QKeySequence::Copy);
    m_list->addActions({m_add, m_duplicate, m_remove, m_moveUp, m_moveDown, m_copy});

    m_form = new ForwardingForm;
    m_message = new QLabel(ProfileValidationForm::invalidForwardingsMessage());
    m_message->setProperty("message", true);
    m_message->setVisible(false);

    auto *left = new QVBoxLayout;
    left->addWidget(m_list, 1);
    left->addWidget(makeButtons());
    left->addWidget(m_message);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins({});
    layout->addLayout(left, 2);
    layout->addWidget(m_form, 3);
    connectActions();
    updateActions();
}

QAction *ForwardingEditor::makeAction(const QString &text, const QString &icon,
                                      const QKeySequence &keys)
{
    auto *action = new QAction(QIcon::fromTheme(icon), text, this);
    action->setShortcut(keys);
    // The keys belong to the list: elsewhere Delete and Copy act on the text being edited.
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setToolTip(u"%1 (%2)"_s.arg(text, keys.toString(QKeySequence::NativeText)));
    return action;
}

QWidget *ForwardingEditor::makeButtons()
{
    auto *buttons = new QWidget;
    auto *row = new QHBoxLayout(buttons);
    row->setContentsMargins({});
    const std::pair<QAction *, QString> entries[] = {
        {m_add, localized("Add")},
        {m_remove, localized("Remove")},
        {m_duplicate, localized("Duplicate")},
        {m_moveUp, localized("Up")},
        {m_moveDown, localized("Down")},
        {m_copy, localized("Copy")},
    };
    for (const auto &[action, label] : entries) {
        // The short label fits under the list; the action keeps its full name for the menu.
        action->setIconText(label);
        auto *button = new QToolButton;
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAccessibleName(action->text());
        button->setMinimumHeight(28);
        row->addWidget(button);
    }
    row->addStretch();
    return buttons;
}

void ForwardingEditor::connectActions()
{
    connect(m_add, &QAction::triggered, this, [this] {
        if (m_model->appendForwarding()) {
            selectRow(m_model->rowCount() - 1);
            m_form->firstField()->setFocus();
            Q_EMIT edited();
        }
    });
    connect(m_remove, &QAction::triggered, this, [this] {
        const int row = currentRow();
        if (row >= 0 && m_model->removeRows(row, 1)) {
            selectRow(std::min(row, m_model->rowCount() - 1));
            Q_EMIT edited();
        }
    });
    connect(m_duplicate, &QAction::triggered, this, [this] {
        const int row = currentRow();
        if (m_model->duplicateRow(row)) {
            selectRow(row + 1);
            Q_EMIT edited();
        }
    });
    connect(m_moveUp, &QAction::triggered, this, [this] { moveCurrent(-1); });
    connect(m_moveDown, &QAction::triggered, this, [this] { moveCurrent(1); });
    connect(m_copy, &QAction::triggered, this, [this] {
        if (const QString words = m_model->sshWords(currentRow()); !words.isEmpty())
            QApplication::clipboard()->setText(words);
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &ForwardingEditor::selectionChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ForwardingEditor::selectionChanged);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, &ForwardingEditor::updateActions);
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this] {
        m_form->refresh();
        if (m_model->allAcceptable())
            showInvalidValues(false);
    });
    connect(m_form, &ForwardingForm::edited, this, [this] {
        const QModelIndex current = m_list->currentIndex();
        if (current.isValid())
            Q_EMIT m_model->dataChanged(current, current);
        Q_EMIT edited();
    });
}

void ForwardingEditor::setProfile(ObjectContext *context, Profile *profile)
{
    m_model->setProfile(context, profile);
    selectRow(m_model->rowCount() > 0 ? 0 : -1);
}

void ForwardingEditor::showInvalidValues(bool shown)
{
    m_message->setVisible(shown);
    EditorFields::markInvalid(m_list, shown);
}

void ForwardingEditor::selectRow(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    m_list->setCurrentIndex(index);
    if (!index.isValid())
        selectionChanged();
}

int ForwardingEditor::firstRowWithUnreadablePort() const
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_form->hasUnreadablePort(m_model->forwardingAt(row)))
            return row;
    }
    return -1;
}

int ForwardingEditor::currentRow() const
{
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ForwardingEditor::selectionChanged()
{
    m_form->setForwarding(m_model->forwardingAt(currentRow()));
    updateActions();
}

void ForwardingEditor::updateActions()
{
    const int row = currentRow();
    const bool selected = row >= 0;
    m_add->setEnabled(m_model->profile() != nullptr);
    m_remove->setEnabled(selected);
    m_duplicate->setEnabled(selected);
    m_copy->setEnabled(selected);
    m_moveUp->setEnabled(row > 0);
    m_moveDown->setEnabled(selected && row < m_model->rowCount() - 1);
}

void ForwardingEditor::moveCurrent(int by)
{
    const int row = currentRow();
    const int destination = by < 0 ? row - 1 : row + 2;
    if (row >= 0 && m_model->moveRows({}, row, 1, {}, destination)) {
        selectRow(row + by);
        Q_EMIT edited();
    }
}
