#include "environmentvariables.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

QByteArray EnvironmentVariables::toData() const
{
    QJsonArray array;
    for (const EnvironmentVariable &variable : contents) {
        array.append(QJsonObject{{u"key"_s, variable.key},
                                 {u"value"_s, variable.value},
                                 {u"enabled"_s, variable.enabled}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

EnvironmentVariables EnvironmentVariables::fromData(const QByteArray &data)
{
    EnvironmentVariables variables;
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isArray())
        return variables;
    for (const QJsonValue &element : document.array()) {
        const QJsonObject object = element.toObject();
        EnvironmentVariable variable;
        variable.key = object.value(u"key"_s).toString();
        variable.value = object.value(u"value"_s).toString();
        variable.enabled = object.value(u"enabled"_s).toBool(false);
        variables.contents.append(variable);
    }
    return variables;
}

void EnvironmentVariables::applyTo(QProcessEnvironment &environment) const
{
    for (const EnvironmentVariable &variable : contents) {
        if (variable.enabled && !variable.key.isEmpty())
            environment.insert(variable.key, variable.value);
    }
}
