#include "ui/ThemeColors.h"

#include "platform/Settings.h"

#include <algorithm>
#include <string>

namespace {

constexpr const char* kStems[kThemeColorCount] = {
    "BASE",     "MAINTEXT", "NAVBG",         "NAVTEXT",  "BORDER",       "LIST",
    "LISTTEXT", "INFOTEXT", "INFOLABELTEXT", "VIEWERBG", "DISABLEDTEXT",
};

constexpr ColorRef kBlackPreset[kThemeColorCount] = {
    0x000000, 0xFFFFFF, 0x1E1E1E, 0xFFFFFF, 0x7D7D7D, 0x1E1E1E,
    0xFFFFFF, 0xFFFFFF, 0x9B9B9B, 0x000000, 0x7D7D7D,
};

constexpr ColorRef kGreyPreset[kThemeColorCount] = {
    0x787878, 0x000000, 0x969696, 0x000000, 0x000000, 0x969696,
    0x000000, 0x000000, 0x373737, 0x969696, 0x4B4B4B,
};

} // namespace

ColorRef g_themeColors[kThemeColorCount] = {
    0x000000, 0xFFFFFF, 0x1E1E1E, 0xFFFFFF, 0x7D7D7D, 0x1E1E1E,
    0xFFFFFF, 0xFFFFFF, 0x9B9B9B, 0x000000, 0x7D7D7D,
};

const char* ThemeColorStem(int slot) {
    return slot >= 0 && slot < kThemeColorCount ? kStems[slot] : "";
}

void SetBlackPreset() {
    std::copy(std::begin(kBlackPreset), std::end(kBlackPreset), g_themeColors);
}

void SetGreyPreset() {
    std::copy(std::begin(kGreyPreset), std::end(kGreyPreset), g_themeColors);
}

ColorRef ReadThemeColor(const platform::SettingsStore& settings, const char* stem) {
    const std::string s(stem);
    auto component = [&](const char* suffix) {
        return static_cast<std::uint8_t>(settings.GetInt("", s + suffix, 0) & 0xFF);
    };
    return MakeColorRef(component("RED"), component("GREEN"), component("BLUE"));
}

void WriteThemeColor(platform::SettingsStore& settings, ColorRef color, const char* stem) {
    const std::string s(stem);
    settings.WriteInt("", s + "RED", static_cast<int>(color & 0xFF));
    settings.WriteInt("", s + "GREEN", static_cast<int>((color >> 8) & 0xFF));
    settings.WriteInt("", s + "BLUE", static_cast<int>((color >> 16) & 0xFF));
}

void LoadCustomColors(const platform::SettingsStore& settings) {
    for (int slot = 0; slot < kThemeColorCount; ++slot) {
        g_themeColors[slot] = ReadThemeColor(settings, kStems[slot]);
    }
}

void SaveCustomColors(platform::SettingsStore& settings) {
    if (settings.GetInt("", "ColorMode", kColorModeBlack) != kColorModeCustom) {
        return;
    }
    for (int slot = 0; slot < kThemeColorCount; ++slot) {
        WriteThemeColor(settings, g_themeColors[slot], kStems[slot]);
    }
}

void LoadThemeColors(const platform::SettingsStore& settings) {
    switch (settings.GetInt("", "ColorMode", kColorModeBlack)) {
    case kColorModeBlack:
        SetBlackPreset();
        break;
    case kColorModeGrey:
        SetGreyPreset();
        break;
    default:
        LoadCustomColors(settings);
        break;
    }
}
