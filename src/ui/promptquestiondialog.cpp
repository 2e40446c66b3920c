#include "promptquestiondialog.h"

#include "localized.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace {

constexpr int iconSize = 48;
// Between a field and its label: the form sits in the grid, whose own spacing it cannot take
// over while the grid's two directions differ.
constexpr int labelSpacing = 8;

QIcon questionIcon(bool secret, const QStyle *style)
{
    const QIcon fallback = QApplication::windowIcon().isNull()
                               ? style->standardIcon(QStyle::SP_MessageBoxQuestion)
                               : QApplication::windowIcon();
    return QIcon::fromTheme(secret ? u"dialog-password"_s : u"dialog-question"_s, fallback);
}

QLabel *wrappingLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

PromptQuestionDialog::PromptQuestionDialog(const PromptRequest &request, QWidget *parent)
    : QDialog(parent), m_words(promptDialog(request)),
      m_confirmation(std::holds_alternative<AuthPrompt::Permission>(request.type))
{
    setObjectName(u"prompt-dialog"_s);
    setWindowTitle(m_words.header);
    setModal(false);
    setMinimumWidth(520);

    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    auto *icon = new QLabel;
    icon->setPixmap(questionIcon(isSecret(request.type), style()).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop);
    grid->addWidget(icon, 0, 0, 4, 1);
    QLabel *header = wrappingLabel(m_words.header);
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    grid->addWidget(header, 0, 1);
    grid->addWidget(wrappingLabel(m_words.message), 1, 1);
    if (m_words.field)
        addField(grid, 2, isSecret(request.type));
    if (m_words.rememberBox) {
        m_remember = new QCheckBox(*m_words.rememberBox);
        grid->addWidget(m_remember, 3, 1);
    }

    auto *buttons = new QDialogButtonBox;
    m_default = new QPushButton(m_words.defaultButton);
    m_alternate = new QPushButton(m_words.alternateButton);
    buttons->addButton(m_default,
                       m_confirmation ? QDialogButtonBox::NoRole : QDialogButtonBox::AcceptRole);
    buttons->addButton(m_alternate,
                       m_confirmation ? QDialogButtonBox::YesRole : QDialogButtonBox::RejectRole);
    m_default->setDefault(true);
    grid->addWidget(buttons, 4, 0, 1, 2);
    grid->setRowStretch(1, 1);
    // The words take the width; the icon keeps its own.
    grid->setColumnStretch(1, 1);

    connect(m_default, &QPushButton::clicked, this, [this] {
        if (m_confirmation)
            answer(PromptReply(u"no"_s));
        else
            answer(PromptReply(m_field->text(), m_remember && m_remember->isChecked()));
    });
    connect(m_alternate, &QPushButton::clicked, this, [this] {
        if (m_confirmation)
            answer(PromptReply(u"yes"_s));
        else
            reject();
    });
    (m_field ? static_cast<QWidget *>(m_field) : m_default)->setFocus();
}

void PromptQuestionDialog::addField(QGridLayout *grid, int row, bool secret)
{
    m_field = new QLineEdit;
    m_field->setMinimumWidth(260);
    if (secret)
        m_field->setEchoMode(QLineEdit::Password);
    const QString label = m_words.field->trimmed();
    m_field->setAccessibleName(label.isEmpty() ? m_words.title : label);
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setHorizontalSpacing(labelSpacing);
    // A server's own question usually brings its punctuation.
    if (label.isEmpty())
        form->addRow(m_field);
    else
        form->addRow(label.back().isPunct() ? label : label + u':', m_field);
    grid->addLayout(form, row, 1);
}

void PromptQuestionDialog::answer(const std::optional<PromptReply> &reply)
{
    if (std::exchange(m_done, true))
        return;
    QDialog::done(reply ? Accepted : Rejected);
    Q_EMIT answered(reply);
}

void PromptQuestionDialog::reject()
{
    answer(std::nullopt);
}

void PromptQuestionDialog::withdraw()
{
    m_done = true;
    QDialog::done(Rejected);
}
