#pragma once

// The process-wide theme colour table that all painting code reads, its two
// presets and its custom colours in the settings store. Used on the
// user-interface thread only.

#include <cstdint>

namespace platform {
class SettingsStore;
}

// A colour in the layout 0x00BBGGRR: red in the low byte.
using ColorRef = std::uint32_t;

enum ThemeColorSlot : int {
    BASE,
    MAINTEXT,
    NAVBG,
    NAVTEXT,
    BORDER,
    LIST,
    LISTTEXT,
    INFOTEXT,
    INFOLABELTEXT,
    VIEWERBG,
    DISABLEDTEXT,
    kThemeColorCount
};

// Holds the black preset from static initialisation on.
extern ColorRef g_themeColors[kThemeColorCount];

// The slot's name in the settings ("BASE", "MAINTEXT", ...).
const char* ThemeColorStem(int slot);

inline constexpr int kColorModeBlack = 0;
inline constexpr int kColorModeGrey = 1;
inline constexpr int kColorModeCustom = 2;

void SetBlackPreset();
void SetGreyPreset();

// Reads <stem>RED, <stem>GREEN and <stem>BLUE (0 when missing, low 8 bits kept).
ColorRef ReadThemeColor(const platform::SettingsStore& settings, const char* stem);
void WriteThemeColor(platform::SettingsStore& settings, ColorRef color, const char* stem);

void LoadCustomColors(const platform::SettingsStore& settings);
// Writes the eleven colours only when "ColorMode" is exactly 2.
void SaveCustomColors(platform::SettingsStore& settings);

// Start-up: "ColorMode" 0 black, 1 grey, anything else the custom colours.
void LoadThemeColors(const platform::SettingsStore& settings);

// Opaque ARGB for the 2-D drawing code: 0xFF, red, green, blue.
constexpr std::uint32_t ToArgb(ColorRef color) {
    return 0xFF000000u | ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}

inline constexpr ColorRef MakeColorRef(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<ColorRef>(red) | (static_cast<ColorRef>(green) << 8) |
           (static_cast<ColorRef>(blue) << 16);
}
