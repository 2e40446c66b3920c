#pragma once

#include "promptrequest.h"

#include <QDialog>

class QBoxLayout;
class QCheckBox;
class QLineEdit;
class QPushButton;

// One question of a client run in a window of its own: the words of promptDialog() with a
// field (masked for secrets) and the box that keeps the answer, or Yes and No for a
// confirmation. Return gives the default button's answer, Escape and closing the window
// cancel. It answers once. A question asked again in the same run says that the last answer
// was not accepted.
class PromptQuestionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PromptQuestionDialog(const PromptRequest &request, QWidget *parent = nullptr);

    const PromptDialog &words() const { return m_words; }
    // None for a confirmation.
    QLineEdit *field() const { return m_field; }
    QCheckBox *rememberBox() const { return m_remember; }
    QPushButton *defaultButton() const { return m_default; }
    QPushButton *alternateButton() const { return m_alternate; }
    // Closes without answering: the question went away.
    void withdraw();

    void reject() override;

Q_SIGNALS:
    void answered(const std::optional<PromptReply> &reply);

private:
    void addField(QBoxLayout *column, bool secret);
    void answer(const std::optional<PromptReply> &reply);

    PromptDialog m_words;
    bool m_confirmation = false;
    bool m_done = false;
    QLineEdit *m_field = nullptr;
    QCheckBox *m_remember = nullptr;
    QPushButton *m_default = nullptr;
    QPushButton *m_alternate = nullptr;
};
