#pragma once

// The tabs of the settings window, in their order.
enum class SettingsItemTag
{
    general,
    locations,
    identities,
    knownHosts,
    advanced,
    sync,
    updates
};
