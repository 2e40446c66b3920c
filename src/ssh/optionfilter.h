#pragma once

#include "sshclientconfig.h"

#include <QMap>

enum class SearchScope
{
    all,
    optionName,
    quickHelp
};
enum class CustomizedOption
{
    all,
    customized
};

QString title(SearchScope scope);

// The catalogue's groups narrowed to the options that pass the filter, in catalogue order;
// groups left without options are dropped. Every word of the text must occur (ignoring case)
// in the scope's text; "customized" keeps only options the profile sets to a non-empty value.
QList<SSHClientConfig::Group> filterOptions(const QList<SSHClientConfig::Group> &groups,
                                            const QString &text, SearchScope scope,
                                            CustomizedOption customized,
                                            const QMap<QString, QString> &profileOptions);

// The help pane's page for an option, or an empty text when the option has no help.
QString quickHelpPage(const SSHClientConfig::Option &option, const QString &tintColor);

inline const QString manualPageAddress = QStringLiteral("https://man.openbsd.org/ssh_config");
