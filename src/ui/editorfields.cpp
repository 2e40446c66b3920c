#include "editorfields.h"

#include "formatstyles.h"
#include "localized.h"

#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace EditorFields {

std::optional<QString> storedText(const QString &typed)
{
    const QString text = TrimmedFormatStyle::parse(typed);
    return text.isEmpty() ? std::nullopt : std::optional(text);
}

qint32 storedPort(const QString &typed)
{
    return PortNumberFormatStyle<qint32>::parse(typed.trimmed());
}

bool isPortText(const QString &typed)
{
    return typed.trimmed().isEmpty() || storedPort(typed) != 0;
}

QString portMessage()
{
    return localized("The port must be a number from 1 to 65535.");
}

void showText(QLineEdit *field, const std::optional<QString> &value)
{
    if (storedText(field->text()) != value)
        field->setText(TrimmedFormatStyle::format(value.value_or(QString())));
}

void showPort(QLineEdit *field, qint32 port)
{
    if (storedPort(field->text()) != port)
        field->setText(PortNumberFormatStyle<qint32>::format(port));
}

void markInvalid(QWidget *field, bool invalid)
{
    if (field->property("invalid").toBool() == invalid)
        return;
    field->setProperty("invalid", invalid);
    field->style()->unpolish(field);
    field->style()->polish(field);
    field->update();
}

QLabel *messageLine()
{
    auto *line = new QLabel;
    line->setProperty("message", true);
    // One line, as wide as the field: a long message is cut rather than widening the form, and
    // its tool tip holds all of it.
    line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    line->setFixedHeight(line->fontMetrics().height());
    return line;
}

void showMessage(QLabel *line, QWidget *field, const QString &message)
{
    line->setText(message);
    line->setToolTip(message);
    markInvalid(field, !message.isEmpty());
}

QWidget *withMessage(QWidget *field, QLabel *line)
{
    auto *box = new QWidget;
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins({});
    column->setSpacing(2);
    column->addWidget(field);
    column->addWidget(line);
    box->setFocusProxy(field);
    return box;
}

QString problemIn(const QList<ProfileValidationForm::FieldProblem> &problems,
                  ProfileValidationForm::CheckedField field, const QString &option)
{
    for (const auto &problem : problems) {
        if (problem.field == field && problem.option == option)
            return problem.message;
    }
    return {};
}

QString styleSheet()
{
    return u"*[invalid=\"true\"] { border: 2px solid #c01c28; border-radius: 3px; }"
           "QLabel[message=\"true\"] { color: #c01c28; }"_s;
}

} // namespace EditorFields
