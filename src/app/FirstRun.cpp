#include "app/FirstRun.h"

#include "app/Strings.h"
#include "platform/Http.h"
#include "platform/Settings.h"

namespace app {

std::string StaticContentHost(const platform::SettingsStore& settings) {
    return settings.GetString("", "StaticHost", ORVANTA_STATIC_HOST);
}

void SendFirstRunNotification(platform::SettingsStore& settings) {
    if (settings.GetInt("", "FirstRunURL", 0) == 0) {
        // The answer is not read; no network or an error status changes nothing.
        platform::HttpPostEmpty("http://" + StaticContentHost(settings) + "/default/firstrun",
                                kAppName);
    }
    settings.WriteInt("", "FirstRunURL", 1);
}

} // namespace app
