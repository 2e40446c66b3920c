#include "optionfilter.h"

#include "localized.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

QString title(SearchScope scope)
{
    switch (scope) {
    case SearchScope::all:
        return localized("All");
    case SearchScope::optionName:
        return localized("Option Name");
    case SearchScope::quickHelp:
        return localized("Quick Help");
    }
    return {};
}

namespace {

std::optional<QString> searchText(const SSHClientConfig::Option &option, SearchScope scope)
{
    switch (scope) {
    case SearchScope::all:
        return option.helpContent ? option.name + u' ' + *option.helpContent : option.name;
    case SearchScope::optionName:
        return option.name;
    case SearchScope::quickHelp:
        return option.helpContent;
    }
    return std::nullopt;
}

} // namespace

QList<SSHClientConfig::Group> filterOptions(const QList<SSHClientConfig::Group> &groups,
                                            const QString &text, SearchScope scope,
                                            CustomizedOption customized,
                                            const QMap<QString, QString> &profileOptions)
{
    static const QRegularExpression separators(u"\\s+"_s);
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    QList<SSHClientConfig::Group> result;
    for (const SSHClientConfig::Group &group : groups) {
        SSHClientConfig::Group kept{group.name, {}};
        for (const SSHClientConfig::Option &option : group.options) {
            if (customized == CustomizedOption::customized &&
                profileOptions.value(option.name).isEmpty())
                continue;
            if (!words.isEmpty()) {
                const auto haystack = searchText(option, scope);
                if (!haystack)
                    continue;
                const bool all = std::all_of(words.cbegin(), words.cend(), [&](const QString &w) {
                    return haystack->contains(w, Qt::CaseInsensitive);
                });
                if (!all)
                    continue;
            }
            kept.options.append(option);
        }
        if (!kept.options.isEmpty())
            result.append(kept);
    }
    return result;
}

QString quickHelpPage(const SSHClientConfig::Option &option, const QString &tintColor)
{
    if (!option.helpContent)
        return {};
    QString page = uR"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Quick Help</title><style>
body { font-family: sans-serif; font-size: BODY_FONTSIZE; }
h1 { font-size: H1_FONTSIZE; color: TINT_COLOR; }
h2 { font-size: H2_FONTSIZE; }
code, pre { font-family: monospace; font-size: MONOSPACE_FONTSIZE; }
a { color: TINT_COLOR; }
</style></head><body>BODY_HTML</body></html>)"_s;
    page.replace(u"BODY_HTML"_s, *option.helpContent);
    page.replace(u"TINT_COLOR"_s, tintColor);
    page.replace(u"BODY_FONTSIZE"_s, u"1rem"_s);
    page.replace(u"H1_FONTSIZE"_s, u"1.875rem"_s);
    page.replace(u"H2_FONTSIZE"_s, u"1.2rem"_s);
    page.replace(u"MONOSPACE_FONTSIZE"_s, u"1em"_s);
    return page;
}
