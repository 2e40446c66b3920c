#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// The sheet that takes known-host lines pasted or typed by the user, one entry a line.
class AddKnownHostDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AddKnownHostDialog(QWidget *parent = nullptr);

    QPlainTextEdit *field() const { return m_field; }
    // The lines of the field, unchanged, without the empty ones.
    QStringList entryLines() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPlainTextEdit *m_field;
    QPushButton *m_add;
};
