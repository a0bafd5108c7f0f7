#pragma once

// Helpers of the format tests: files made by ImageMagick in a private
// temporary folder, comparison with ImageMagick's decode, and the broken
// copies (empty, truncated, corrupted) every decoder must refuse cleanly.

#include "imaging/Image.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace imagingtest {

// Runs ImageMagick's convert with the arguments (each quoted); true when
// it succeeded and wrote `output` (the last argument).
bool Convert(std::initializer_list<std::string> args);

// A small colourful source picture (13 × 7, gradient and a rectangle) and
// a black-and-white one (9 × 5), written as PNG into `folder`.
std::string MakeColorSource(const std::string& folder);
std::string MakeBilevelSource(const std::string& folder);

// Loads `path` with the given type and compares it with ImageMagick's
// decode; sizes must match and no channel may differ by more than
// `tolerance`.
void ExpectLikeMagick(const std::string& path, int type, int tolerance = 0);

// Empty, truncated (header only, half, all but the last byte when
// `lastByteMatters`) and header-corrupted copies of `bytes` fail to decode
// as `type`, with an error text and no picture.
void ExpectBrokenCopiesFail(const std::vector<std::uint8_t>& bytes, int type,
                            std::size_t headerBytes, bool lastByteMatters = true);

} // namespace imagingtest
