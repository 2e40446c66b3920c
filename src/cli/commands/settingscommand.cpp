#include "settingscommand.h"

#include "localized.h"
#include "settings.h"

using namespace Qt::StringLiterals;

namespace {

const SettingText *settingNamed(const QString &name)
{
    for (const SettingText &text : settingTexts()) {
        if (text.name == name)
            return &text;
    }
    return nullptr;
}

} // namespace

CommandHelp SettingsCommand::help()
{
    QList<OptionHelp> keys;
    for (const SettingText &text : settingTexts()) {
        keys.append(
            {text.name, text.defaultValue.isEmpty()
                            ? text.values
                            : localized("%1 (default %2)").arg(text.values, text.defaultValue)});
    }
    return {u"settings [get KEY | set KEY VALUE]"_s,
            localized("Show every setting, or read or write one."),
            localized(R"(environment_variables is set in its JSON form, for example [{"key": )"
                      R"("LANG", "value": "C.UTF-8", "enabled": true}].)"),
            {},
            keys};
}

Status SettingsCommand::parse(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return std::nullopt;
    const QString sub = arguments[0];
    const bool get = sub == u"get"_s && arguments.size() == 2;
    if (!get && !(sub == u"set"_s && arguments.size() == 3))
        return Error(localized("settings takes get KEY or set KEY VALUE."));
    m_setting = settingNamed(arguments[1]);
    if (!m_setting)
        return Error(localized("Unknown setting “%1”.").arg(arguments[1]));
    // The device's id is made once, by its first sync; another one would make the other devices
    // take this one for a stranger.
    if (!get && m_setting->name == SettingKeys::syncDeviceID.name)
        return Error(
            localized("%1 is read-only: it is made once for this device.").arg(m_setting->name));
    if (!get)
        m_newValue = arguments[2];
    return std::nullopt;
}

int SettingsCommand::run()
{
    if (m_newValue)
        return write();
    if (m_setting) {
        m_env.out() << m_setting->read(m_env.settings()) << u'\n';
        return CliEnvironment::success;
    }
    for (const SettingText &text : settingTexts())
        m_env.out() << text.name << u" = "_s << text.read(m_env.settings()) << u'\n';
    return CliEnvironment::success;
}

int SettingsCommand::write()
{
    const Status error = m_setting->write(m_env.settings(), *m_newValue);
    if (!error)
        return CliEnvironment::success;
    return error->code == Settings::writeFailedCode ? m_env.fail(error->message)
                                                    : m_env.usageFailure(error->message);
}
