#include "advancedpage.h"

#include "editorfields.h"
#include "localized.h"
#include "optioncatalogueeditor.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

AdvancedPage::AdvancedPage(Settings *settings, QWidget *parent) : QWidget(parent)
{
    m_command = new QPlainTextEdit;
    m_command->setReadOnly(true);
    m_command->setAccessibleName(localized("Equivalent Command"));
    m_command->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_command->setTabChangesFocus(true);
    m_command->setFixedHeight(m_command->fontMetrics().lineSpacing() * 4 + 14);
    m_copy = new QPushButton(localized("Copy Equivalent Command"));
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(command()); });

    auto *commandBox = new QGroupBox(localized("Equivalent Command"));
    auto *commandRow = new QHBoxLayout(commandBox);
    commandRow->addWidget(m_command, 1);
    commandRow->addWidget(m_copy, 0, Qt::AlignTop);

    m_options = new OptionCatalogueEditor(settings);
    auto *optionsBox = new QGroupBox(localized("SSH Options"));
    auto *optionsColumn = new QVBoxLayout(optionsBox);
    optionsColumn->addWidget(m_options);
    m_optionsMessage = EditorFields::messageLine();
    optionsColumn->addWidget(m_optionsMessage);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(commandBox);
    layout->addWidget(optionsBox, 1);
}

void AdvancedPage::setCommand(const QString &command)
{
    if (m_command->toPlainText() != command)
        m_command->setPlainText(command);
}

QString AdvancedPage::command() const
{
    return m_command->toPlainText();
}

bool AdvancedPage::showMessages(const QList<ProfileValidationForm::FieldProblem> &problems)
{
    QStringList messages;
    for (const auto &problem : problems) {
        if (problem.field == ProfileValidationForm::CheckedField::option)
            messages.append(problem.message);
    }
    EditorFields::showMessage(m_optionsMessage, m_options, messages.join(u' '));
    return !messages.isEmpty();
}
