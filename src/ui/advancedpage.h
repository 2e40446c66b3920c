#pragma once

#include <QWidget>

class OptionCatalogueEditor;
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

    OptionCatalogueEditor *options() const { return m_options; }
    QPlainTextEdit *commandField() const { return m_command; }
    QPushButton *copyButton() const { return m_copy; }

private:
    QPlainTextEdit *m_command;
    QPushButton *m_copy;
    OptionCatalogueEditor *m_options;
};
