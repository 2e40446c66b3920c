#include "sshclientconfig.h"

#include "propertylist.h"

#include <QFile>
#include <QStringDecoder>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace {

SSHClientConfig::Option optionFrom(const QString &name, const QVariantMap &description)
{
    SSHClientConfig::Option option;
    option.name = name;
    const QVariant type = description.value(u"type"_s);
    if (type.typeId() == QMetaType::QString) {
        if (type.toString() == u"choice"_s)
            option.type = SSHClientConfig::ValueType::choice;
        else if (type.toString() == u"integer"_s)
            option.type = SSHClientConfig::ValueType::integer;
    }
    const QVariant help = description.value(u"help"_s);
    if (help.typeId() == QMetaType::QByteArray) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder(help.toByteArray());
        if (!decoder.hasError())
            option.helpContent = text;
    }
    const QVariant candidates = description.value(u"candidates"_s);
    if (candidates.typeId() == QMetaType::QVariantList) {
        const QVariantList list = candidates.toList();
        const bool allText = std::all_of(list.cbegin(), list.cend(), [](const QVariant &v) {
            return v.typeId() == QMetaType::QString;
        });
        if (allText) {
            for (const QVariant &value : list)
                option.candidateValues.append(value.toString());
        }
    }
    const QVariant strict = description.value(u"strict"_s);
    option.strict = strict.typeId() == QMetaType::Bool && strict.toBool();
    return option;
}

QByteArray resource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

SSHClientConfig::SSHClientConfig(const QByteArray &optionsInfo, const QByteArray &optionGroups)
{
    const auto info = readPropertyList(optionsInfo);
    if (info && info->typeId() == QMetaType::QVariantMap) {
        const QVariantMap root = info->toMap();
        const bool wellFormed = std::all_of(root.cbegin(), root.cend(), [](const QVariant &v) {
            return v.typeId() == QMetaType::QVariantMap;
        });
        for (auto it = root.cbegin(); wellFormed && it != root.cend(); ++it) {
            const Option option = optionFrom(it.key(), it.value().toMap());
            m_options.insert(option.name, option);
            if (option.strict)
                m_strictOptions.insert(option.name, option);
        }
    }

    const auto groups = readPropertyList(optionGroups);
    if (!groups || groups->typeId() != QMetaType::QVariantList)
        return;
    for (const QVariant &element : groups->toList()) {
        const QVariantMap map = element.toMap();
        const QVariant name = map.value(u"name"_s);
        const QVariant names = map.value(u"options"_s);
        if (element.typeId() != QMetaType::QVariantMap || name.typeId() != QMetaType::QString ||
            names.typeId() != QMetaType::QVariantList)
            continue;
        Group group{name.toString(), {}};
        for (const QVariant &optionName : names.toList()) {
            if (auto it = m_options.constFind(optionName.toString()); it != m_options.cend()) {
                group.options.append(*it);
                m_knownOptionNames.append(it->name);
            }
        }
        m_groups.append(group);
    }
}

const SSHClientConfig &SSHClientConfig::shared()
{
    static const SSHClientConfig config(resource(u":/ssh/OptionsInfo.plist"_s),
                                        resource(u":/ssh/OptionGroups.plist"_s));
    return config;
}

QSet<QString> SSHClientConfig::knownOptionNameSet() const
{
    return QSet<QString>(m_knownOptionNames.cbegin(), m_knownOptionNames.cend());
}

QSet<QString> SSHClientConfig::strictOptionNames() const
{
    QSet<QString> names;
    for (auto it = m_strictOptions.cbegin(); it != m_strictOptions.cend(); ++it)
        names.insert(it.key());
    return names;
}
