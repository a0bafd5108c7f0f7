#include "platform/Settings.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

using platform::SettingsStore;

TEST(SettingsStore, MissingValuesYieldTheDefault) {
    testsupport::ScopedTestHome home;
    SettingsStore store(home.ConfigHome() + "/Orvanta/Orvanta.conf");
    EXPECT_EQ(store.GetInt("", "ColorMode", 7), 7);
    EXPECT_EQ(store.GetString("Layout", "Missing", "fallback"), "fallback");
    EXPECT_FALSE(store.GetBinary("Layout", "Placement").has_value());
}

TEST(SettingsStore, ValuesSurviveANewStoreOnTheSameFile) {
    testsupport::ScopedTestHome home;
    const std::string path = home.ConfigHome() + "/Orvanta/Orvanta.conf";
    const std::vector<std::uint8_t> blob{0, 1, 2, 0xFF, '=', '\n'};
    {
        SettingsStore store(path);
        ASSERT_TRUE(store.WriteInt("", "FirstRunURL", 1));
        ASSERT_TRUE(store.WriteInt("Layout", "Width", -640));
        ASSERT_TRUE(
            store.WriteString("LocalPrint\\Office [2nd floor]", "Paper", "A4 = 'x'\nline two\\"));
        ASSERT_TRUE(store.WriteBinary("Layout", "Placement", blob));
    }
    SettingsStore again(path);
    EXPECT_EQ(again.GetInt("", "FirstRunURL", 0), 1);
    EXPECT_EQ(again.GetInt("layout", "WIDTH", 0), -640) << "names compare without case";
    EXPECT_EQ(again.GetString("LocalPrint\\Office [2nd floor]", "Paper"), "A4 = 'x'\nline two\\");
    EXPECT_EQ(again.GetBinary("Layout", "Placement").value(), blob);
    EXPECT_EQ(again.GetInt("Layout", "FirstRunURL", 5), 5) << "sections are separate";
}

TEST(SettingsStore, SeesWritesOfAnotherStoreAndRemoves) {
    testsupport::ScopedTestHome home;
    const std::string path = home.ConfigHome() + "/x.ini";
    SettingsStore a(path), b(path);
    a.WriteInt("", "UPDATE_YEAR", 2026);
    EXPECT_EQ(b.GetInt("", "UPDATE_YEAR", 1990), 2026);
    b.Remove("", "UPDATE_YEAR");
    EXPECT_EQ(a.GetInt("", "UPDATE_YEAR", 1990), 1990);
}

TEST(SettingsStore, ProfileFileIsApartFromTheMainFile) {
    testsupport::ScopedTestHome home;
    platform::ProfileSettings().WriteInt("", "UPDATE_HOUR", 5);
    platform::AppSettings().WriteInt("", "ColorMode", 1);
    std::remove(platform::AppSettings().Path().c_str());
    EXPECT_EQ(platform::AppSettings().GetInt("", "ColorMode", 0), 0);
    EXPECT_EQ(platform::ProfileSettings().GetInt("", "UPDATE_HOUR", 1), 5);
    EXPECT_NE(platform::ProfileSettings().Path().find(".INI"), std::string::npos);
}

TEST(Base64, RoundTripsEveryLength) {
    std::vector<std::uint8_t> bytes;
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(platform::DecodeBase64(platform::EncodeBase64(bytes)).value(), bytes);
        bytes.push_back(static_cast<std::uint8_t>(n * 37));
    }
    EXPECT_EQ(platform::EncodeBase64({'M', 'a'}), "TWE=");
    EXPECT_FALSE(platform::DecodeBase64("TW!=").has_value());
}
