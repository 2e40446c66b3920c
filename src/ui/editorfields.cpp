#include "editorfields.h"

#include "formatstyles.h"

#include <QLineEdit>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace EditorFields {

std::optional<QString> storedText(const QString &typed)
{
    const QString text = TrimmedFormatStyle::parse(typed);
    return text.isEmpty() ? std::nullopt : std::optional(text);
}

qint32 storedPort(const QString &typed)
{
    return PortNumberFormatStyle<qint32>::parse(typed);
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

QString styleSheet()
{
    return u"*[invalid=\"true\"] { border: 2px solid #c01c28; border-radius: 3px; }"
           "QLabel[message=\"true\"] { color: #c01c28; }"_s;
}

} // namespace EditorFields
