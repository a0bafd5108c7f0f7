#include "app/UpdateSchedule.h"

#include "platform/Settings.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

namespace {

struct Stamp {
    int year, month, day, hour;
};

Stamp LocalStamp(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour};
}

void Store(platform::SettingsStore& profile, Stamp s) {
    profile.WriteInt("", "UPDATE_YEAR", s.year);
    profile.WriteInt("", "UPDATE_MONTH", s.month);
    profile.WriteInt("", "UPDATE_DAY", s.day);
    profile.WriteInt("", "UPDATE_HOUR", s.hour);
}

Stamp Stored(const platform::SettingsStore& profile) {
    return {profile.GetInt("", "UPDATE_YEAR", -1), profile.GetInt("", "UPDATE_MONTH", -1),
            profile.GetInt("", "UPDATE_DAY", -1), profile.GetInt("", "UPDATE_HOUR", -1)};
}

bool operator==(Stamp a, Stamp b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour;
}

// A time that lies on a whole local hour, so the stored stamp is exact.
std::time_t OnTheHour() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 5;
    t.tm_mday = 15;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

} // namespace

TEST(UpdateSchedule, RunsEvery49WholeHours) {
    struct Case {
        const char* name;
        long long secondsSinceLastCheck;
        bool due;
    };
    const Case cases[] = {
        {"48 hours 59 minutes ago", 48 * 3600 + 59 * 60, false},
        {"exactly 49 hours ago", 49 * 3600, true},
        {"49 hours 59 minutes ago", 49 * 3600 + 59 * 60, true},
        {"a year ago", 365LL * 24 * 3600, true},
        {"in the future", -3600, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ScopedTestHome home;
        platform::SettingsStore profile(home.ConfigHome() + "/orvanta.INI");
        const std::time_t last = OnTheHour();
        const std::time_t now = last + static_cast<std::time_t>(c.secondsSinceLastCheck);
        Store(profile, LocalStamp(last));
        int checks = 0;
        int result = app::IsUpdateCheckDue(
            profile,
            [&] {
                ++checks;
                return 0;
            },
            now);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(checks, c.due ? 1 : 0);
        EXPECT_TRUE(Stored(profile) == (c.due ? LocalStamp(now) : LocalStamp(last)));
    }
}

TEST(UpdateSchedule, AFreshAccountChecksAtOnceAndTheTimeIsStoredBeforeTheCheck) {
    testsupport::ScopedTestHome home;
    platform::SettingsStore profile(home.ConfigHome() + "/orvanta.INI");
    const std::time_t now = OnTheHour();
    Stamp seenByCheck{};
    int result = app::IsUpdateCheckDue(
        profile,
        [&] {
            seenByCheck = Stored(profile);
            return 1;
        },
        now);
    EXPECT_EQ(result, 1) << "the checker's result is returned";
    EXPECT_TRUE(seenByCheck == LocalStamp(now));
}

TEST(UpdateSchedule, InvalidStoredValuesCountAsDueAndNoCheckerStillStoresTheTime) {
    testsupport::ScopedTestHome home;
    platform::SettingsStore profile(home.ConfigHome() + "/orvanta.INI");
    const std::time_t now = OnTheHour();
    Store(profile, {2026, 13, 40, 25});
    EXPECT_EQ(app::IsUpdateCheckDue(profile, {}, now), 0);
    EXPECT_TRUE(Stored(profile) == LocalStamp(now));
}
