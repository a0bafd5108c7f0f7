#include "ui/ThemeColors.h"

#include "platform/Settings.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

TEST(ThemeColors, PresetsFillTheTable) {
    SetGreyPreset();
    EXPECT_EQ(g_themeColors[BASE], 0x787878u);
    EXPECT_EQ(g_themeColors[INFOLABELTEXT], 0x373737u);
    EXPECT_EQ(g_themeColors[DISABLEDTEXT], 0x4B4B4Bu);
    SetBlackPreset();
    EXPECT_EQ(g_themeColors[BASE], 0x000000u);
    EXPECT_EQ(g_themeColors[NAVBG], 0x1E1E1Eu);
    EXPECT_EQ(g_themeColors[INFOLABELTEXT], 0x9B9B9Bu);
}

TEST(ThemeColors, ComponentsAreStoredPerStemAndCutToEightBits) {
    testsupport::ScopedTestHome home;
    platform::SettingsStore settings(home.ConfigHome() + "/Orvanta/Orvanta.conf");
    WriteThemeColor(settings, MakeColorRef(0x12, 0x34, 0x56), "NAVBG");
    EXPECT_EQ(settings.GetInt("", "NAVBGRED", -1), 0x12);
    EXPECT_EQ(settings.GetInt("", "NAVBGGREEN", -1), 0x34);
    EXPECT_EQ(settings.GetInt("", "NAVBGBLUE", -1), 0x56);
    EXPECT_EQ(ReadThemeColor(settings, "NAVBG"), 0x563412u);

    settings.WriteInt("", "LISTRED", 0x1FF);
    settings.WriteInt("", "LISTBLUE", -1);
    EXPECT_EQ(ReadThemeColor(settings, "LIST"), 0xFF00FFu) << "low 8 bits; green missing reads 0";
    EXPECT_EQ(ToArgb(0x563412u), 0xFF123456u);
}

TEST(ThemeColors, CustomColoursAreSavedOnlyInModeTwo) {
    testsupport::ScopedTestHome home;
    platform::SettingsStore settings(home.ConfigHome() + "/Orvanta/Orvanta.conf");
    SetGreyPreset();
    for (int mode : {0, 1, 3}) {
        settings.WriteInt("", "ColorMode", mode);
        SaveCustomColors(settings);
        EXPECT_EQ(settings.GetInt("", "BASERED", -1), -1) << "mode " << mode;
    }
    settings.WriteInt("", "ColorMode", 2);
    SaveCustomColors(settings);
    SetBlackPreset();
    LoadThemeColors(settings);
    EXPECT_EQ(g_themeColors[BASE], 0x787878u) << "the custom colours come back";
    EXPECT_EQ(g_themeColors[LIST], 0x969696u);

    settings.WriteInt("", "ColorMode", 7);
    SetBlackPreset();
    LoadThemeColors(settings);
    EXPECT_EQ(g_themeColors[BASE], 0x787878u) << "any other mode loads as custom";
    SetBlackPreset();
}
