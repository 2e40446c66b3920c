#include "configfileeditor.h"

#include "configeditview.h"
#include "localized.h"
#include "settingsalert.h"
#include "systemconfig.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

ConfigFileEditor::ConfigFileEditor(QString path, QWidget *parent)
    : QWidget(parent), m_path(std::move(path))
{
    m_view = new ConfigEditView;
    m_view->editor()->setAccessibleName(m_path);
    auto *buttons = new QDialogButtonBox;
    m_save = buttons->addButton(QDialogButtonBox::Save);
    m_revert = buttons->addButton(QDialogButtonBox::Reset);
    m_revert->setText(localized("Revert"));
    auto *pathLabel = new QLabel(m_path);
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pathLabel->setForegroundRole(QPalette::PlaceholderText);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(pathLabel, 1);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);

    auto *saveKey = new QAction(this);
    saveKey->setShortcuts(QKeySequence::keyBindings(QKeySequence::Save));
    saveKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(saveKey, &QAction::triggered, this, &ConfigFileEditor::save);
    addAction(saveKey);
    connect(m_save, &QPushButton::clicked, this, &ConfigFileEditor::save);
    connect(m_revert, &QPushButton::clicked, this, &ConfigFileEditor::load);
    connect(m_view->editor()->document(), &QTextDocument::modificationChanged, this,
            &ConfigFileEditor::updateButtons);
    updateButtons();
}

void ConfigFileEditor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_loaded)
        load();
}

bool ConfigFileEditor::load()
{
    m_loaded = true;
    const Result<QString> text = readConfigText(m_path);
    m_readable = text.ok();
    m_view->editor()->setReadOnly(!m_readable);
    if (m_readable) {
        m_view->editor()->setPlainText(*text);
        m_view->editor()->document()->setModified(false);
    }
    updateButtons();
    if (!m_readable)
        showSettingsAlert(this, localized("Config File Error"), text.error());
    return m_readable;
}

bool ConfigFileEditor::save()
{
    if (!m_readable)
        return false;
    QTextDocument *document = m_view->editor()->document();
    if (Status error = writeConfigText(m_path, document->toPlainText())) {
        showSettingsAlert(this, localized("Config File Error"), *error);
        return false;
    }
    document->setModified(false);
    return true;
}

void ConfigFileEditor::updateButtons()
{
    const bool modified = m_view->editor()->document()->isModified();
    m_save->setEnabled(m_readable && modified);
    m_revert->setEnabled(modified || !m_readable);
}
