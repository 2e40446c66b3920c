#include "advancedsettingspage.h"

#include "configfileeditor.h"
#include "environmentvariablesmodel.h"
#include "localized.h"
#include "locationssettingspage.h"
#include "settingsalert.h"
#include "systemconfig.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <set>
#include <utility>

using namespace Qt::StringLiterals;

AdvancedSettingsPage::AdvancedSettingsPage(Settings &settings, QWidget *parent) : QWidget(parent)
{
    setObjectName(u"advancedSettings"_s);
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(makeVariablesGroup(settings));
    splitter->addWidget(makeSystemConfigGroup());
    splitter->setStretchFactor(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    updateButtons();
}

QWidget *AdvancedSettingsPage::makeVariablesGroup(Settings &settings)
{
    m_model = new EnvironmentVariablesModel(settings, this);
    connect(m_model, &EnvironmentVariablesModel::writeFailed, this, [this](const Error &error) {
        showSettingsAlert(this, localized("Settings Error"), error);
    });
    m_view = new QTableView;
    m_view->setObjectName(u"environmentVariables"_s);
    m_view->setAccessibleName(localized("Environment Variables"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setSectionResizeMode(EnvironmentVariablesModel::enabledColumn,
                                                     QHeaderView::ResizeToContents);
    m_view->horizontalHeader()->setSectionResizeMode(EnvironmentVariablesModel::keyColumn,
                                                     QHeaderView::Interactive);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setColumnWidth(EnvironmentVariablesModel::keyColumn, 180);
    m_view->setMinimumHeight(120);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AdvancedSettingsPage::updateButtons);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &AdvancedSettingsPage::updateButtons);
    connect(m_model, &QAbstractItemModel::modelReset, this, &AdvancedSettingsPage::updateButtons);
    connect(m_view->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            &AdvancedSettingsPage::dropUnnamedAddition);

    auto *removeKey = new QAction(m_view);
    removeKey->setShortcut(QKeySequence::Delete);
    removeKey->setShortcutContext(Qt::WidgetShortcut);
    connect(removeKey, &QAction::triggered, this, &AdvancedSettingsPage::removeSelectedVariables);
    m_view->addAction(removeKey);
    const auto moveKey = [this](QKeyCombination key, int step) {
        auto *move = new QAction(m_view);
        move->setShortcut(key);
        move->setShortcutContext(Qt::WidgetShortcut);
        connect(move, &QAction::triggered, this, [this, step] { moveCurrentVariable(step); });
        m_view->addAction(move);
    };
    moveKey(Qt::ALT | Qt::Key_Up, -1);
    moveKey(Qt::ALT | Qt::Key_Down, 1);

    m_add = new QPushButton(QIcon::fromTheme(u"list-add"_s), localized("Add"));
    m_remove = new QPushButton(QIcon::fromTheme(u"list-remove"_s), localized("Remove"));
    m_up = new QPushButton(QIcon::fromTheme(u"go-up"_s), localized("Move Up"));
    m_up->setToolTip(localized("Move Up (Alt+Up)"));
    m_down = new QPushButton(QIcon::fromTheme(u"go-down"_s), localized("Move Down"));
    m_down->setToolTip(localized("Move Down (Alt+Down)"));
    connect(m_add, &QPushButton::clicked, this, &AdvancedSettingsPage::addVariable);
    connect(m_remove, &QPushButton::clicked, this, &AdvancedSettingsPage::removeSelectedVariables);
    connect(m_up, &QPushButton::clicked, this, [this] { moveCurrentVariable(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveCurrentVariable(1); });
    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {m_add, m_remove, m_up, m_down})
        buttons->addWidget(button);
    buttons->addStretch(1);

    auto *box = new QGroupBox(localized("Environment Variables"));
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(
        explanationLabel(localized("Specify runtime environment variables for ssh or local "
                                   "terminal processes.")));
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    return box;
}

QWidget *AdvancedSettingsPage::makeSystemConfigGroup()
{
    m_systemConfig = new ConfigFileEditor(systemConfigFilePath());
    auto *box = new QGroupBox(localized("System-wide Configuration"));
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(m_systemConfig);
    return box;
}

void AdvancedSettingsPage::addVariable()
{
    const int row = m_model->rowCount();
    if (!m_model->insertRow(row))
        return;
    const QModelIndex key = m_model->index(row, EnvironmentVariablesModel::keyColumn);
    m_added = key;
    m_view->setCurrentIndex(key);
    m_view->setFocus(Qt::OtherFocusReason);
    m_view->edit(key);
}

// A variable without a name sets nothing: one added and left unnamed (Escape) is not kept.
void AdvancedSettingsPage::dropUnnamedAddition()
{
    if (!m_added.isValid())
        return;
    // On the next turn: the view finishes closing the editor before its row may go.
    QMetaObject::invokeMethod(
        this,
        [this, added = std::exchange(m_added, {})] {
            if (added.isValid() && added.data().toString().isEmpty())
                m_model->removeRow(added.row());
        },
        Qt::QueuedConnection);
}

void AdvancedSettingsPage::removeSelectedVariables()
{
    std::set<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows.insert(index.row());
    if (rows.empty() && m_view->currentIndex().isValid())
        rows.insert(m_view->currentIndex().row());
    // From the bottom up, so that the rows still to go keep their numbers.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        m_model->removeRow(*row);
}

void AdvancedSettingsPage::moveCurrentVariable(int step)
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return;
    const int row = current.row();
    const int target = row + step;
    if (target < 0 || target >= m_model->rowCount())
        return;
    if (m_model->moveRow({}, row, {}, step > 0 ? target + 1 : target))
        m_view->selectRow(target);
    updateButtons();
}

void AdvancedSettingsPage::updateButtons()
{
    const QModelIndex current = m_view->currentIndex();
    const bool any = m_view->selectionModel()->hasSelection() || current.isValid();
    m_remove->setEnabled(any);
    m_up->setEnabled(current.isValid() && current.row() > 0);
    m_down->setEnabled(current.isValid() && current.row() + 1 < m_model->rowCount());
}
