#pragma once

// The format type numbers that LoadFile and SaveFile take and that an image
// remembers it was loaded as. 0 asks for detection from the file's content.

namespace imaging {

constexpr int kFormatUnknown = 0;
constexpr int kFormatBmp = 1;
constexpr int kFormatGif = 2;
constexpr int kFormatJpg = 3;
constexpr int kFormatPng = 4;
constexpr int kFormatIco = 5;
constexpr int kFormatTif = 6;
constexpr int kFormatTga = 7;
constexpr int kFormatPcx = 8;
constexpr int kFormatWbmp = 9;
constexpr int kFormatWmf = 10;
constexpr int kFormatJp2 = 11;
constexpr int kFormatJpc = 12;
constexpr int kFormatPgx = 13;
constexpr int kFormatPnm = 14;
constexpr int kFormatRas = 15;
// 16 is not a format.
constexpr int kFormatMng = 17;
constexpr int kFormatSka = 18;
constexpr int kFormatRaw = 19;

} // namespace imaging
