#include "vellappupdaterdelegate.h"

#include "settings.h"

QSet<QString> VellAppUpdaterDelegate::allowedChannels() const
{
    if (m_settings.get(SettingKeys::updateChannel) == UpdateChannel::beta)
        return {rawValue(UpdateChannel::beta)};
    return {};
}
