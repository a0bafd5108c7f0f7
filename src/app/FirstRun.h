#pragma once

// The one-time first-run notification to the online service's static host.

#include <string>

namespace platform {
class SettingsStore;
}

namespace app {

// The host (and optional port) the notification goes to: the setting
// "StaticHost" when present, else the build's constant.
std::string StaticContentHost(const platform::SettingsStore& settings);

// When "FirstRunURL" reads 0, POSTs "default/firstrun" with the user agent
// "Orvanta", ignoring every failure; then writes "FirstRunURL" = 1.
void SendFirstRunNotification(platform::SettingsStore& settings);

} // namespace app
