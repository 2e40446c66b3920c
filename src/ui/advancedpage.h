#pragma once

#include "profilevalidationform.h"

#include <QWidget>

class OptionCatalogueEditor;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class Settings;

// The third page of the profile editor: the command that runs the same connection from a
// shell, and every client option of the catalogue.
class AdvancedPage : public QWidget
{
    Q_OBJECT

public:
    explicit AdvancedPage(Settings *settings, QWidget *parent = nullptr);

    void setCommand(const QString &command);
    QString command() const;
    // Marks the options when any of them holds a problem and shows the problems under them;
    // true when one does.
    bool showMessages(const QList<ProfileValidationForm::FieldProblem> &problems);

    OptionCatalogueEditor *options() const { return m_options; }
    QPlainTextEdit *commandField() const { return m_command; }
    QPushButton *copyButton() const { return m_copy; }
    QLabel *optionsMessage() const { return m_optionsMessage; }

private:
    QPlainTextEdit *m_command;
    QPushButton *m_copy;
    OptionCatalogueEditor *m_options;
    QLabel *m_optionsMessage;
};
