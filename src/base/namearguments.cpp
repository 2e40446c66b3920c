#include "namearguments.h"

#include "localized.h"

#include <QLocale>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control;
}

QString escaped(QChar c)
{
    switch (c.unicode()) {
    case u'\n':
        return u"\\n"_s;
    case u'\t':
        return u"\\t"_s;
    case u'\r':
        return u"\\r"_s;
    }
    return u"\\x"_s + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
}

// The text with each control character written as an escape, so that the message shows it.
QString visible(const QString &text)
{
    QString result;
    for (QChar c : text)
        result += isControl(c) ? escaped(c) : QString(c);
    return result;
}

} // namespace

Result<QString> nameArgument(const QString &text)
{
    const QString name = text.trimmed();
    if (name.size() > maxNameLength)
        return Error(localized("The name is longer than %1 characters.")
                         .arg(QLocale(QLocale::English).toString(maxNameLength)),
                     {}, unusableNameCode);
    if (std::any_of(text.cbegin(), text.cend(), isControl))
        return Error(localized("The name “%1” contains a control character.").arg(visible(text)),
                     {}, unusableNameCode);
    return name;
}

Result<QStringList> nameArguments(const QStringList &texts)
{
    QStringList names;
    for (const QString &text : texts) {
        auto name = nameArgument(text);
        if (!name)
            return name.error();
        names.append(*name);
    }
    return names;
}

QString noTagMessage(const QString &name)
{
    return localized("No tag “%1”.").arg(name);
}
