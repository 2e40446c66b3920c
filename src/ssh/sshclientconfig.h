#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The catalogue of client options that profiles may carry: groups as the editor shows them,
// each option's type, candidate values, short help, and whether it is strict (it runs or
// reaches something local that a sandboxed client could not).
class SSHClientConfig
{
public:
    enum class ValueType
    {
        string,
        integer,
        choice
    };

    struct Option
    {
        QString name;
        ValueType type = ValueType::string;
        QStringList candidateValues;
        std::optional<QString> helpContent;
        bool strict = false;

        friend bool operator==(const Option &, const Option &) = default;
    };

    struct Group
    {
        QString name;
        QList<Option> options;

        friend bool operator==(const Group &, const Group &) = default;
    };

    // Built from the two property lists; a missing or broken one counts as empty.
    SSHClientConfig(const QByteArray &optionsInfo, const QByteArray &optionGroups);

    // The catalogue compiled into the program, built on first use.
    static const SSHClientConfig &shared();

    const QList<Group> &groups() const { return m_groups; }
    const QHash<QString, Option> &options() const { return m_options; }
    const QHash<QString, Option> &strictOptions() const { return m_strictOptions; }
    // The grouped option names in group order; a name in two groups is listed twice.
    const QStringList &knownOptionNames() const { return m_knownOptionNames; }
    QSet<QString> knownOptionNameSet() const;
    QSet<QString> strictOptionNames() const;

private:
    QList<Group> m_groups;
    QHash<QString, Option> m_options;
    QHash<QString, Option> m_strictOptions;
    QStringList m_knownOptionNames;
};
