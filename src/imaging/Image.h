#pragma once

// CxImage: the image object through which all decoding, pixel work and
// encoding goes. It holds a device-independent bitmap (a 40-byte header, a
// palette for 1-, 4- and 8-bit pictures, bottom-up rows padded to 4 bytes),
// an optional alpha plane, an optional selection mask with its box, the
// settings a codec or an operation reads, the last error text, a progress
// value and an escape flag. Each object has one holder and one thread at a
// time; only the progress value and the escape flag may be read or set from
// another thread while an operation runs.

#include "imaging/ImageFormats.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// One palette entry or one pixel colour, in the byte order of the bitmap.
struct RgbQuad {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0; // alpha where a colour carries one

    friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};

constexpr RgbQuad MakeRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                          std::uint8_t alpha = 0) {
    return RgbQuad{blue, green, red, alpha};
}

// The 40-byte header of a device-independent bitmap.
struct BitmapInfoHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// A rectangle of pixel edges: left <= x < right. Whether top is the larger
// or the smaller number depends on the caller (the selection box counts rows
// bottom-up, so there bottom <= y < top).
struct ImageRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    friend bool operator==(const ImageRect&, const ImageRect&) = default;
};

// What ToDeviceBitmap hands out: a 24-bit bitmap of the picture's size, rows
// bottom-up in blue-green-red order, each padded to a multiple of 4 bytes.
struct DeviceBitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bits;
};

class CxImage {
public:
    CxImage() = default;
    CxImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, int type = 0);
    CxImage(const CxImage& other);
    CxImage& operator=(const CxImage& other);
    CxImage(CxImage&& other) noexcept;
    CxImage& operator=(CxImage&& other) noexcept;
    ~CxImage() = default;

    // Creation: the depth is rounded up to 1, 4, 8 or 24 bits; fails (and
    // leaves the object as it was) for a zero size or when width × height ×
    // bits reaches the creation limit. Palette pictures start with a grey
    // palette and all pixels at index 0 (black for 24-bit).
    bool Create(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, int type = 0);
    void Destroy();
    bool IsValid() const { return !m_bits.empty(); }
    // Whether Create would accept these dimensions (before any allocation).
    static bool CheckDimensions(std::uint64_t width, std::uint64_t height, std::uint32_t bpp);
    static std::uint32_t RoundBpp(std::uint32_t bpp);
    static std::size_t RowBytes(std::uint32_t width, std::uint32_t bpp);

    // Header and geometry.
    const BitmapInfoHeader& GetHeader() const { return m_head; }
    std::uint32_t Width() const { return static_cast<std::uint32_t>(m_head.width); }
    std::uint32_t Height() const { return static_cast<std::uint32_t>(m_head.height); }
    std::uint32_t GetBpp() const { return m_head.bitCount; }
    std::size_t GetEffWidth() const { return m_effWidth; }
    std::uint32_t GetNumColors() const { return static_cast<std::uint32_t>(m_palette.size()); }
    // Row `row` counted from the bottom; null when out of range.
    std::uint8_t* GetBits(std::uint32_t row = 0);
    const std::uint8_t* GetBits(std::uint32_t row = 0) const;

    // Palette.
    std::span<const RgbQuad> GetPalette() const { return m_palette; }
    // Copies up to GetNumColors() entries; the rest of the palette is black.
    void SetPalette(std::span<const RgbQuad> colors);
    RgbQuad GetPaletteColor(std::uint32_t index) const;
    void SetPaletteColor(std::uint32_t index, RgbQuad color);
    void SetGrayPalette();
    // A palette picture whose palette is the evenly spaced grey ramp.
    bool IsGrayScale() const;

    // Pixels (x from the left, y from the bottom). Out-of-range reads give
    // index 0 / black; out-of-range writes are ignored.
    bool IsInside(std::int64_t x, std::int64_t y) const;
    std::uint8_t GetPixelIndex(std::int64_t x, std::int64_t y) const;
    void SetPixelIndex(std::int64_t x, std::int64_t y, std::uint8_t index);
    // The colour; its reserved byte is the alpha value (255 without alpha).
    RgbQuad GetPixelColor(std::int64_t x, std::int64_t y) const;
    // Palette pictures take the nearest palette entry.
    void SetPixelColor(std::int64_t x, std::int64_t y, RgbQuad color, bool setAlpha = false);
    std::uint8_t GetNearestIndex(RgbQuad color) const;

    // Alpha plane.
    bool AlphaCreate();
    void AlphaDelete() { m_alpha.clear(); }
    bool AlphaIsValid() const { return !m_alpha.empty(); }
    std::uint8_t AlphaGet(std::int64_t x, std::int64_t y) const;
    void AlphaSet(std::int64_t x, std::int64_t y, std::uint8_t value);
    std::uint8_t* AlphaGetPointer(std::uint32_t x = 0, std::uint32_t y = 0);
    const std::uint8_t* AlphaGetPointer(std::uint32_t x = 0, std::uint32_t y = 0) const;
    std::uint8_t AlphaGetMax() const { return m_alphaMax; }

    // Selection: a mask of one byte per pixel and its box (bottom-up rows).
    bool SelectionIsValid() const { return !m_selection.empty(); }
    bool SelectionCreate();
    void DeleteSelection();
    bool SetSelectionLevel(std::uint8_t level);
    bool AddSelectionRect(ImageRect rect, std::uint8_t level);
    const ImageRect& SelectionBox() const { return m_selectionBox; }
    std::uint8_t SelectionGet(std::int64_t x, std::int64_t y) const;
    // True without a selection; otherwise inside the box and the mask.
    bool SelectionIsInside(std::int64_t x, std::int64_t y) const;

    // Settings.
    float GetJpegQuality() const { return m_jpegQuality; }
    void SetJpegQuality(float quality);
    // zlib's level for PNG saves, 0 (none) to 9; -1 (the default) leaves
    // the encoder's own choice. Levels up to 3 also use one fast row filter.
    int GetPngCompression() const { return m_pngCompression; }
    void SetPngCompression(int level) {
        m_pngCompression = level < -1 ? -1 : (level > 9 ? 9 : level);
    }
    std::int32_t GetXDPI() const { return m_xDpi; }
    std::int32_t GetYDPI() const { return m_yDpi; }
    void SetXDPI(std::int32_t dpi);
    void SetYDPI(std::int32_t dpi);
    std::int32_t GetTransIndex() const { return m_transIndex; }
    void SetTransIndex(std::int32_t index) { m_transIndex = index; }
    // A picture is transparent when its transparent index is set; the colour
    // left out is the palette entry of that index, or for a 24-bit picture
    // the colour given by SetTransColor.
    bool IsTransparent() const;
    RgbQuad GetTransColor() const;
    void SetTransColor(RgbQuad color) { m_transColor = color; }
    RgbQuad GetBkColor() const { return m_bkColor; }
    void SetBkColor(RgbQuad color) { m_bkColor = color; }
    int GetType() const { return m_type; }
    void SetType(int type) { m_type = type; }

    // Errors, progress and the escape flag.
    const std::string& GetLastError() const { return m_lastError; }
    void SetLastError(std::string text) { m_lastError = std::move(text); }
    int GetProgress() const { return m_progress.load(std::memory_order_relaxed); }
    void SetProgress(int value) { m_progress.store(value, std::memory_order_relaxed); }
    bool GetEscape() const { return m_escape.load(std::memory_order_relaxed); }
    void SetEscape(bool escape) { m_escape.store(escape, std::memory_order_relaxed); }

    // Files (ImageFile.cpp). LoadFile with type 0 detects the format from the
    // content; a failed typed load falls back to detection and keeps the
    // first error text. SaveFile writes through a temporary file so that a
    // failed save leaves the old file in place.
    bool LoadFile(const std::string& path, int type = imaging::kFormatUnknown);
    bool Decode(std::span<const std::uint8_t> data, int type = imaging::kFormatUnknown);
    bool SaveFile(const std::string& path, int type);
    bool Encode(std::vector<std::uint8_t>& out, int type);
    // The thumbnail decode: the picture reduced (never enlarged), keeping its
    // proportions, to the smallest size that still covers minWidth ×
    // minHeight. JPEG files use the decoder's DCT scaling; the rest decode
    // fully and are reduced by area averaging.
    bool LoadFileReduced(const std::string& path, std::uint32_t minWidth, std::uint32_t minHeight,
                         int type = imaging::kFormatUnknown);
    bool DecodeReduced(std::span<const std::uint8_t> data, std::uint32_t minWidth,
                       std::uint32_t minHeight, int type = imaging::kFormatUnknown);

    // Operations (ImageOps.cpp, ImageFilters.cpp, ImageResample.cpp). Every
    // operation that fails leaves the picture unchanged and returns false.
    void CopyFrom(const CxImage& src, bool copyPixels = true, bool copySelection = true,
                  bool copyAlpha = true);
    bool RotateLeft90();
    bool RotateRight90();
    bool Invert();
    bool ToGrayscale();
    bool ShiftChannels(int red, int green, int blue);
    bool GaussianBlur(float radius);
    bool Convolve(std::span<const std::int32_t> kernel, int size, int divisor, int offset);
    bool AdjustLight(int brightness, int contrast);
    bool CropTo(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    bool RemoveRedEye();
    bool FitOnCanvas(std::uint32_t width, std::uint32_t height, RgbQuad canvas,
                     CxImage& target) const;
    bool ResampleTo(std::uint32_t width, std::uint32_t height);
    std::unique_ptr<DeviceBitmap> ToDeviceBitmap() const;

    // Depth changes used by the operations and the codecs: widening keeps
    // every colour; narrowing maps to the given palette (or a grey ramp).
    bool IncreaseBpp(std::uint32_t bpp);
    bool DecreaseBpp(std::uint32_t bpp, std::span<const RgbQuad> palette);

    // The blur kernel for a radius (exposed for its tests).
    static std::vector<float> GaussianKernel(float radius);
    // The 256-entry brightness/contrast table.
    static std::vector<std::uint8_t> LightTable(int brightness, int contrast);

private:
    bool Escaped() const { return GetEscape(); }
    void CopySettings(const CxImage& src);
    // Replaces pixels, header, palette and geometry by those of `other`,
    // keeping this object's settings; used to commit an operation's result.
    void TakePixels(CxImage&& other);
    bool RotateQuarter(bool left);
    bool ResampleBilinear(std::uint32_t width, std::uint32_t height, CxImage& out) const;
    bool ResampleArea1000(std::uint32_t width, std::uint32_t height, CxImage& out) const;
    bool ResampleCubicArea(std::uint32_t width, std::uint32_t height, CxImage& out) const;
    bool DecodeWithType(std::span<const std::uint8_t> data, int type);

    BitmapInfoHeader m_head;
    std::size_t m_effWidth = 0;
    std::vector<RgbQuad> m_palette;
    std::vector<std::uint8_t> m_bits;
    std::vector<std::uint8_t> m_alpha;
    std::vector<std::uint8_t> m_selection;
    ImageRect m_selectionBox;

    float m_jpegQuality = 95.0f;
    int m_pngCompression = -1;
    std::int32_t m_xDpi = 96;
    std::int32_t m_yDpi = 96;
    std::int32_t m_transIndex = -1;
    RgbQuad m_transColor{0, 0, 0, 0};
    RgbQuad m_bkColor{0, 0, 0, 0};
    std::uint8_t m_alphaMax = 255;
    int m_type = imaging::kFormatUnknown;

    std::string m_lastError;
    std::atomic<int> m_progress{0};
    std::atomic<bool> m_escape{false};
};
