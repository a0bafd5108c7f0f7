#pragma once

// When to run the update check: at most once every 49 hours, the time of the
// last check kept (to the hour) in the profile file. UI thread, at start-up.

#include <ctime>
#include <functional>

namespace platform {
class SettingsStore;
}

namespace app {

inline constexpr int kUpdateIntervalHours = 49;

// Runs the check and returns its result: non-zero means an installer was
// started and the program must end.
using UpdateCheck = std::function<int()>;

// When due, stores the current local year, month, day and hour first, then
// runs the check (none installed: nothing runs) and returns its result; when
// not due, changes nothing and returns 0.
int IsUpdateCheckDue(platform::SettingsStore& profile, const UpdateCheck& check,
                     std::time_t now = std::time(nullptr));

} // namespace app
