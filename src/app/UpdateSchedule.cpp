#include "app/UpdateSchedule.h"

#include "platform/Settings.h"

namespace app {
namespace {

// The stored check time, or -1 when the values do not form a valid date,
// which counts as due.
std::time_t LastCheckTime(const platform::SettingsStore& profile) {
    const int year = profile.GetInt("", "UPDATE_YEAR", 1990);
    const int month = profile.GetInt("", "UPDATE_MONTH", 1);
    const int day = profile.GetInt("", "UPDATE_DAY", 1);
    const int hour = profile.GetInt("", "UPDATE_HOUR", 1);
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23) {
        return -1;
    }
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_isdst = -1; // daylight saving as the system decides
    return std::mktime(&local);
}

} // namespace

int IsUpdateCheckDue(platform::SettingsStore& profile, const UpdateCheck& check, std::time_t now) {
    const std::time_t last = LastCheckTime(profile);
    if (last != -1) {
        const long long elapsedHours = (static_cast<long long>(now) - last) / 3600;
        if (elapsedHours < kUpdateIntervalHours) {
            return 0; // also a clock set back: negative hours
        }
    }
    std::tm current{};
    localtime_r(&now, &current);
    profile.WriteInt("", "UPDATE_YEAR", current.tm_year + 1900);
    profile.WriteInt("", "UPDATE_MONTH", current.tm_mon + 1);
    profile.WriteInt("", "UPDATE_DAY", current.tm_mday);
    profile.WriteInt("", "UPDATE_HOUR", current.tm_hour);
    return check ? check() : 0;
}

} // namespace app
