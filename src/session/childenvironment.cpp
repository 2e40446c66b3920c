#include "childenvironment.h"

#include "homedirectory.h"

#include <QLocale>

#include <clocale>

using namespace Qt::StringLiterals;

namespace {

const QStringList removedEnvironmentKeys = {
    u"LOGNAME"_s,
    u"USER"_s,
    u"HOME"_s,
    u"TMP"_s,
    u"TMPDIR"_s,
    u"TEMP"_s,
    u"TEMPDIR"_s,
    u"__CFBundleIdentifier"_s,
    u"XPC_SERVICE_NAME"_s,
    u"APP_SANDBOX_CONTAINER_ID"_s,
    u"CFFIXED_USER_HOME"_s,
    u"COMMAND_MODE"_s,
    u"__CF_USER_TEXT_ENCODING"_s,
};

// Whether the C library takes the name for the character type; the process's own locale is
// put back afterwards.
bool acceptsCharacterLocale(const QByteArray &name)
{
    const char *current = std::setlocale(LC_CTYPE, nullptr);
    const QByteArray saved = current ? QByteArray(current) : QByteArray("C");
    const bool accepted = std::setlocale(LC_CTYPE, name.constData()) != nullptr;
    std::setlocale(LC_CTYPE, saved.constData());
    return accepted;
}

} // namespace

QMap<QString, QString> makeChildEnvironment(const ChildEnvironmentInputs &inputs)
{
    QProcessEnvironment environment = inputs.applicationEnvironment;
    for (const QString &key : removedEnvironmentKeys)
        environment.remove(key);
    inputs.userVariables.applyTo(environment);
    if (inputs.terminalType)
        environment.insert(u"TERM"_s, *inputs.terminalType);
    if (inputs.setLocale) {
        const QLocale locale;
        const QString name = QLocale::languageToCode(locale.language()) + u'_' +
                             QLocale::territoryToCode(locale.territory()) + u".UTF-8"_s;
        if (acceptsCharacterLocale(name.toLatin1()))
            environment.insert(u"LANG"_s, name);
        else if (acceptsCharacterLocale("UTF-8"))
            environment.insert(u"LC_CTYPE"_s, u"UTF-8"_s);
    }
    environment.insert(u"SSH_ASKPASS"_s, inputs.askPassProgram);
    environment.insert(u"SSH_ASKPASS_REQUIRE"_s, u"force"_s);
    const QString inherited = inputs.applicationEnvironment.value(u"SSH_AUTH_SOCK"_s);
    if (!inputs.authAgentSocket.isEmpty())
        environment.insert(u"SSH_AUTH_SOCK"_s, expandingTilde(inputs.authAgentSocket));
    else if (!inherited.isEmpty())
        environment.insert(u"SSH_AUTH_SOCK"_s, expandingTilde(inherited));
    else
        environment.remove(u"SSH_AUTH_SOCK"_s);

    QMap<QString, QString> result;
    for (const QString &key : environment.keys())
        result.insert(key, environment.value(key));
    return result;
}
