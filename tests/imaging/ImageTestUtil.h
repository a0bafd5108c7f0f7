#pragma once

// Helpers shared by the imaging tests: patterned pictures, pixel dumps in
// RGBA, reference decodes through ImageMagick, file writing.

#include "imaging/Image.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imagingtest {

// Pixels top-down, four bytes per pixel (red, green, blue, alpha).
struct Rgba {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;

    const std::uint8_t* At(std::uint32_t x, std::uint32_t y) const {
        return pixels.data() + (std::size_t{y} * width + x) * 4;
    }
};

// What a picture shows: its colours, with the transparent index and the
// alpha plane as alpha.
Rgba ToRgba(const CxImage& image);

// ImageMagick's decode of the first frame (used only as a reference).
// With toSrgb, CMYK pictures are converted to RGB.
std::optional<Rgba> MagickDecode(const std::string& path, bool toSrgb = false);

// The largest channel difference over the pixels the reference shows
// opaquely; sizes must match (otherwise 256).
int MaxDifference(const Rgba& ours, const Rgba& reference);

// How many pixels the reference shows opaquely differ by more than
// `tolerance` in some channel.
std::size_t CountDifferent(const Rgba& ours, const Rgba& reference, int tolerance);

// A picture with a different colour in every pixel (24-bit) or a cycling
// index pattern (palette pictures, with a non-grey palette).
CxImage Pattern(std::uint32_t width, std::uint32_t height, std::uint32_t bpp);

// Whether two pictures show the same pixels (colours, and alpha when
// compareAlpha).
bool SamePixels(const CxImage& a, const CxImage& b, bool compareAlpha = false);

std::vector<std::uint8_t> ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace imagingtest
