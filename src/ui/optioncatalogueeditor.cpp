#include "optioncatalogueeditor.h"

#include "localized.h"
#include "optioncataloguemodel.h"
#include "optionvaluedelegate.h"
#include "settings.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

OptionCatalogueEditor::OptionCatalogueEditor(Settings *settings, QWidget *parent)
    : QWidget(parent), m_settings(settings)
{
    m_model = new OptionCatalogueModel(SSHClientConfig::shared().groups(), this);
    m_tree = new QTreeView;
    m_tree->setModel(m_model);
    m_tree->setItemDelegateForColumn(OptionCatalogueModel::valueColumn,
                                     new OptionValueDelegate(m_tree));
    m_tree->setAccessibleName(localized("SSH Options"));
    m_tree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_tree->setAlternatingRowColors(true);
    m_tree->setUniformRowHeights(true);
    m_tree->header()->setSectionResizeMode(OptionCatalogueModel::nameColumn,
                                           QHeaderView::ResizeToContents);
    m_tree->header()->setStretchLastSection(true);
    m_tree->expandAll();

    m_remove = new QAction(QIcon::fromTheme(u"edit-clear"_s), localized("Remove Option"), this);
    m_remove->setShortcut(QKeySequence::Delete);
    m_remove->setShortcutContext(Qt::WidgetShortcut);
    m_tree->addAction(m_remove);
    m_tree->setContextMenuPolicy(Qt::ActionsContextMenu);

    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(makeHelpPane());
    m_splitter->setChildrenCollapsible(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins({});
    layout->addWidget(makeFilterBar());
    layout->addWidget(m_splitter, 1);

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &OptionCatalogueEditor::showHelp);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_tree->expandAll();
        showHelp();
    });
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this] { Q_EMIT edited(); });
    connect(m_remove, &QAction::triggered, this,
            [this] { m_model->removeOption(m_tree->currentIndex()); });
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = m_splitter->sizes();
        const int total = sizes.value(0) + sizes.value(1);
        if (m_settings && total > 0)
            (void)m_settings->set(SettingKeys::profileAdvancedOptionsSplitFraction,
                                  double(sizes.value(0)) / total);
    });
}

QWidget *OptionCatalogueEditor::makeFilterBar()
{
    m_filter = new QLineEdit;
    m_filter->setPlaceholderText(localized("Filter"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setAccessibleName(localized("Filter options"));
    m_scope = new QComboBox;
    m_scope->setAccessibleName(localized("Search in"));
    for (SearchScope scope : {SearchScope::all, SearchScope::optionName, SearchScope::quickHelp})
        m_scope->addItem(title(scope), int(scope));
    m_customized = new QComboBox;
    m_customized->setAccessibleName(localized("Show"));
    m_customized->addItem(localized("All Options"), int(CustomizedOption::all));
    m_customized->addItem(localized("Customized Options"), int(CustomizedOption::customized));
    auto *remove = new QToolButton;
    remove->setDefaultAction(m_remove);
    remove->setToolButtonStyle(Qt::ToolButtonTextOnly);

    connect(m_filter, &QLineEdit::textChanged, this, &OptionCatalogueEditor::applyFilter);
    connect(m_scope, &QComboBox::currentIndexChanged, this, &OptionCatalogueEditor::applyFilter);
    connect(m_customized, &QComboBox::currentIndexChanged, this,
            &OptionCatalogueEditor::applyFilter);

    auto *bar = new QWidget;
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins({});
    row->addWidget(m_filter, 1);
    row->addWidget(m_scope);
    row->addWidget(m_customized);
    row->addWidget(remove);
    return bar;
}

QWidget *OptionCatalogueEditor::makeHelpPane()
{
    m_help = new QTextBrowser;
    m_help->setOpenExternalLinks(true);
    m_help->setAccessibleName(localized("Quick Help"));
    auto *manual = new QLabel(u"<a href=\"%1\">%2</a>"_s.arg(
        manualPageAddress, localized("ssh_config(5) manual page").toHtmlEscaped()));
    manual->setOpenExternalLinks(true);
    manual->setTextInteractionFlags(Qt::TextBrowserInteraction);
    auto *pane = new QWidget;
    auto *column = new QVBoxLayout(pane);
    column->setContentsMargins({});
    column->addWidget(m_help, 1);
    column->addWidget(manual);
    pane->setMinimumWidth(180);
    return pane;
}

void OptionCatalogueEditor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (std::exchange(m_splitPlaced, true))
        return;
    const double fraction =
        m_settings ? m_settings->get(SettingKeys::profileAdvancedOptionsSplitFraction) : 0.7;
    const int total = std::max(m_splitter->width(), 2);
    const int first = int(total * std::clamp(fraction, 0.2, 0.8));
    m_splitter->setSizes({first, total - first});
}

void OptionCatalogueEditor::setProfile(Profile *profile)
{
    m_model->setProfile(profile);
}

void OptionCatalogueEditor::setEffectiveValues(const QMap<QString, QString> &values)
{
    m_model->setEffectiveValues(values);
}

void OptionCatalogueEditor::refreshValues()
{
    m_model->refreshValues();
}

void OptionCatalogueEditor::applyFilter()
{
    m_model->setFilter(m_filter->text(), SearchScope(m_scope->currentData().toInt()),
                       CustomizedOption(m_customized->currentData().toInt()));
}

void OptionCatalogueEditor::showHelp()
{
    const SSHClientConfig::Option *option = m_model->option(m_tree->currentIndex());
    m_remove->setEnabled(option != nullptr);
    const QString tint = palette().color(QPalette::Highlight).name();
    m_help->setHtml(option ? quickHelpPage(*option, tint) : QString());
}
