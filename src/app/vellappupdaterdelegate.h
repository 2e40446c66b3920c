#pragma once

#include <QSet>
#include <QString>

class Settings;

// What the updater may offer beyond the stable releases, as the user chose in "update_channel".
class VellAppUpdaterDelegate
{
public:
    explicit VellAppUpdaterDelegate(const Settings &settings) : m_settings(settings) {}

    // {"beta"} on the beta channel, else nothing: items without a channel are always allowed.
    QSet<QString> allowedChannels() const;

private:
    const Settings &m_settings;
};
