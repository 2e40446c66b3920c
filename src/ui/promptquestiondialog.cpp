#include "promptquestiondialog.h"

#include "localized.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int iconSize = 48;
// The widest a line of the question may be before it wraps: wide enough for a key fingerprint,
// narrow enough to read. Short questions still get a window of a comfortable width.
constexpr int widestLine = 90;
constexpr int narrowestLine = 440;

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

// A word-wrapping label takes only the width its layout offers, which at first is barely any:
// the question asks for the width of its longest line, so that a fingerprint stays on one line.
QLabel *messageLabel(const QString &text)
{
    QLabel *label = wrappingLabel(text);
    const QFontMetrics metrics(label->font());
    int longest = 0;
    for (const QString &line : text.split(u'\n'))
        longest = std::max(longest, metrics.horizontalAdvance(line));
    const int widest = metrics.horizontalAdvance(QString(widestLine, u'x'));
    label->setMinimumWidth(std::clamp(longest + 2, narrowestLine, widest));
    return label;
}

QString notAcceptedText(const AuthPromptType &type)
{
    if (std::holds_alternative<AuthPrompt::Password>(type))
        return localized("The password was not accepted. Try again.");
    if (std::holds_alternative<AuthPrompt::PublicKey>(type))
        return localized("The passphrase was not accepted. Try again.");
    return localized("The answer was not accepted. Try again.");
}

// The client's question tells a terminal what it may type; here the buttons answer it.
QString withoutTypedAnswers(QString question)
{
    static const QRegularExpression typed(u" \\(yes/no(/\\[fingerprint\\])?\\)(\\?\\s*)$"_s);
    return question.replace(typed, u"\\2"_s);
}

} // namespace

PromptQuestionDialog::PromptQuestionDialog(const PromptRequest &request, QWidget *parent)
    : QDialog(parent), m_words(promptDialog(request)),
      m_confirmation(std::holds_alternative<AuthPrompt::Permission>(request.type))
{
    setObjectName(u"prompt-dialog"_s);
    setWindowTitle(m_words.header);
    setModal(false);

    auto *icon = new QLabel;
    icon->setPixmap(questionIcon(isSecret(request.type), style()).pixmap(iconSize));
    QLabel *header = wrappingLabel(m_words.header);
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    auto *column = new QVBoxLayout;
    column->addWidget(header);
    column->addWidget(
        messageLabel(m_confirmation ? withoutTypedAnswers(m_words.message) : m_words.message));
    // The client asks again only when the last answer did not open the way.
    if (request.attempt > 1 && !m_confirmation) {
        QLabel *note = wrappingLabel(notAcceptedText(request.type));
        note->setStyleSheet(u"color: #c01c28;"_s);
        column->addWidget(note);
    }
    if (m_words.field)
        addField(column, isSecret(request.type));
    if (m_words.rememberBox) {
        m_remember = new QCheckBox(*m_words.rememberBox);
        column->addWidget(m_remember);
    }
    column->addStretch();
    auto *top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(column, 1);

    auto *buttons = new QDialogButtonBox;
    m_default = new QPushButton(m_words.defaultButton);
    m_alternate = new QPushButton(m_words.alternateButton);
    buttons->addButton(m_default,
                       m_confirmation ? QDialogButtonBox::NoRole : QDialogButtonBox::AcceptRole);
    buttons->addButton(m_alternate,
                       m_confirmation ? QDialogButtonBox::YesRole : QDialogButtonBox::RejectRole);
    m_default->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);

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

void PromptQuestionDialog::addField(QBoxLayout *column, bool secret)
{
    m_field = new QLineEdit;
    m_field->setMinimumWidth(260);
    if (secret)
        m_field->setEchoMode(QLineEdit::Password);
    const QString label = m_words.field->trimmed();
    m_field->setAccessibleName(label.isEmpty() ? m_words.title : label);
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    // A server's own question usually brings its punctuation.
    if (label.isEmpty())
        form->addRow(m_field);
    else
        form->addRow(label.back().isPunct() ? label : label + u':', m_field);
    column->addLayout(form);
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
