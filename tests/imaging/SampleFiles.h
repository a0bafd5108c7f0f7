#pragma once

// Small sample files the tests write themselves, of formats no tool here
// writes: a camera raw DNG and the metafiles (WMF and EMF).

#include <cstdint>
#include <vector>

namespace imagingtest {

// A DNG holding a 32 × 32 Bayer mosaic (RGGB, 16-bit): left half red,
// right half blue. The raw decoder takes no mosaic smaller than 22 pixels.
constexpr std::uint32_t kTestDngSide = 32;
std::vector<std::uint8_t> MakeTestDng();

// A placeable WMF and an EMF of the same 100 × 60 pixel drawing on white:
// a red rectangle (10, 10)-(50, 30) and a blue ellipse in (60, 10)-(90, 40)
// without outlines, a green triangle (0, 59), (20, 59), (0, 39), a black
// line 3 pixels wide along y = 5, black text "WW" with its top left at
// (20, 34), and a 2 × 2 bitmap (top: cyan, magenta; bottom: green, yellow)
// stretched onto (70, 45)-(90, 55).
std::vector<std::uint8_t> MakeTestWmf();
std::vector<std::uint8_t> MakeTestEmf();

} // namespace imagingtest
