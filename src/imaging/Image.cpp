#include "imaging/Image.h"

#include <algorithm>
#include <cstring>

namespace {

// width × height × bits must stay below 2^31 + 8 bits.
constexpr std::uint64_t kCreationLimitBits = (std::uint64_t{1} << 31) + 8;

// Files may claim any resolution; the header field saturates.
std::int32_t DpiToPelsPerMeter(std::int32_t dpi) {
    const std::int64_t pels = std::int64_t{dpi} * 10000 / 254;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(pels, 0, 0x7fffffff));
}

} // namespace

CxImage::CxImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, int type) {
    Create(width, height, bpp, type);
}

CxImage::CxImage(const CxImage& other) {
    CopyFrom(other);
}

CxImage& CxImage::operator=(const CxImage& other) {
    if (this != &other) {
        CopyFrom(other);
    }
    return *this;
}

CxImage::CxImage(CxImage&& other) noexcept {
    *this = std::move(other);
}

CxImage& CxImage::operator=(CxImage&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    m_head = other.m_head;
    m_effWidth = other.m_effWidth;
    m_palette = std::move(other.m_palette);
    m_bits = std::move(other.m_bits);
    m_alpha = std::move(other.m_alpha);
    m_selection = std::move(other.m_selection);
    m_selectionBox = other.m_selectionBox;
    CopySettings(other);
    m_lastError = std::move(other.m_lastError);
    other.Destroy();
    return *this;
}

std::uint32_t CxImage::RoundBpp(std::uint32_t bpp) {
    if (bpp <= 1) {
        return 1;
    }
    if (bpp <= 4) {
        return 4;
    }
    if (bpp <= 8) {
        return 8;
    }
    return 24;
}

std::size_t CxImage::RowBytes(std::uint32_t width, std::uint32_t bpp) {
    return (static_cast<std::size_t>(width) * bpp + 31) / 32 * 4;
}

bool CxImage::CheckDimensions(std::uint64_t width, std::uint64_t height, std::uint32_t bpp) {
    if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff) {
        return false;
    }
    const std::uint64_t bits = RoundBpp(bpp);
    // Divide rather than multiply so that nothing overflows. Rows are
    // padded to 32 bits, so a narrow picture takes far more memory than
    // width × height × bits says (one pixel wide and two billion rows high
    // would be 8 GB): the stored size must stay below the limit too.
    const std::uint64_t rowBits = (width * bits + 31) / 32 * 32;
    return width <= (kCreationLimitBits - 1) / bits / height &&
           rowBits <= (kCreationLimitBits - 1) / height;
}

bool CxImage::Create(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, int type) {
    if (width == 0 || height == 0) {
        m_lastError = "CxImage::Create : width and height must be greater than zero";
        return false;
    }
    if (!CheckDimensions(width, height, bpp)) {
        m_lastError = "CxImage::Create : dimensions too large";
        return false;
    }
    bpp = RoundBpp(bpp);
    const std::size_t effWidth = RowBytes(width, bpp);
    std::vector<std::uint8_t> bits;
    try {
        bits.assign(effWidth * height, 0);
    } catch (const std::bad_alloc&) {
        m_lastError = "CxImage::Create : can't allocate memory";
        return false;
    }
    m_bits = std::move(bits);
    m_effWidth = effWidth;
    m_head = BitmapInfoHeader{};
    m_head.width = static_cast<std::int32_t>(width);
    m_head.height = static_cast<std::int32_t>(height);
    m_head.bitCount = static_cast<std::uint16_t>(bpp);
    m_head.sizeImage = static_cast<std::uint32_t>(m_bits.size());
    m_head.xPelsPerMeter = DpiToPelsPerMeter(m_xDpi);
    m_head.yPelsPerMeter = DpiToPelsPerMeter(m_yDpi);
    m_palette.clear();
    if (bpp <= 8) {
        m_palette.resize(std::size_t{1} << bpp);
        SetGrayPalette();
    }
    m_head.clrUsed = static_cast<std::uint32_t>(m_palette.size());
    m_alpha.clear();
    m_selection.clear();
    m_selectionBox = ImageRect{};
    m_type = type;
    return true;
}

void CxImage::Destroy() {
    m_head = BitmapInfoHeader{};
    m_effWidth = 0;
    m_palette.clear();
    m_bits.clear();
    m_alpha.clear();
    m_selection.clear();
    m_selectionBox = ImageRect{};
}

void CxImage::CopySettings(const CxImage& src) {
    m_jpegQuality = src.m_jpegQuality;
    m_pngCompression = src.m_pngCompression;
    m_xDpi = src.m_xDpi;
    m_yDpi = src.m_yDpi;
    m_transIndex = src.m_transIndex;
    m_transColor = src.m_transColor;
    m_bkColor = src.m_bkColor;
    m_alphaMax = src.m_alphaMax;
    m_type = src.m_type;
}

void CxImage::CopyFrom(const CxImage& src, bool copyPixels, bool copySelection, bool copyAlpha) {
    if (this == &src) {
        return;
    }
    m_head = src.m_head;
    m_effWidth = src.m_effWidth;
    m_palette = src.m_palette;
    if (copyPixels) {
        m_bits = src.m_bits;
    } else {
        m_bits.assign(src.m_bits.size(), 0);
    }
    m_selection = copySelection ? src.m_selection : std::vector<std::uint8_t>{};
    m_selectionBox = copySelection ? src.m_selectionBox : ImageRect{};
    m_alpha = copyAlpha ? src.m_alpha : std::vector<std::uint8_t>{};
    CopySettings(src);
    m_lastError = src.m_lastError;
}

void CxImage::TakePixels(CxImage&& other) {
    m_head = other.m_head;
    m_effWidth = other.m_effWidth;
    m_palette = std::move(other.m_palette);
    m_bits = std::move(other.m_bits);
    m_alpha = std::move(other.m_alpha);
    m_selection = std::move(other.m_selection);
    m_selectionBox = other.m_selectionBox;
    m_transIndex = other.m_transIndex;
    m_transColor = other.m_transColor;
    m_bkColor = other.m_bkColor;
}

std::uint8_t* CxImage::GetBits(std::uint32_t row) {
    if (m_bits.empty() || row >= Height()) {
        return nullptr;
    }
    return m_bits.data() + m_effWidth * row;
}

const std::uint8_t* CxImage::GetBits(std::uint32_t row) const {
    if (m_bits.empty() || row >= Height()) {
        return nullptr;
    }
    return m_bits.data() + m_effWidth * row;
}

void CxImage::SetPalette(std::span<const RgbQuad> colors) {
    for (std::size_t i = 0; i < m_palette.size(); ++i) {
        m_palette[i] = i < colors.size() ? colors[i] : RgbQuad{};
        m_palette[i].reserved = 0;
    }
}

RgbQuad CxImage::GetPaletteColor(std::uint32_t index) const {
    return index < m_palette.size() ? m_palette[index] : RgbQuad{};
}

void CxImage::SetPaletteColor(std::uint32_t index, RgbQuad color) {
    if (index < m_palette.size()) {
        color.reserved = 0;
        m_palette[index] = color;
    }
}

void CxImage::SetGrayPalette() {
    const std::size_t n = m_palette.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto v = static_cast<std::uint8_t>(n > 1 ? i * 255 / (n - 1) : 0);
        m_palette[i] = RgbQuad{v, v, v, 0};
    }
}

bool CxImage::IsGrayScale() const {
    const std::size_t n = m_palette.size();
    if (n == 0 || m_head.bitCount > 8) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const auto v = static_cast<std::uint8_t>(n > 1 ? i * 255 / (n - 1) : 0);
        const RgbQuad& c = m_palette[i];
        if (c.red != v || c.green != v || c.blue != v) {
            return false;
        }
    }
    return true;
}

bool CxImage::IsInside(std::int64_t x, std::int64_t y) const {
    return IsValid() && x >= 0 && y >= 0 && x < m_head.width && y < m_head.height;
}

std::uint8_t CxImage::GetPixelIndex(std::int64_t x, std::int64_t y) const {
    if (!IsInside(x, y) || m_head.bitCount > 8) {
        return 0;
    }
    const std::uint8_t* row = m_bits.data() + m_effWidth * static_cast<std::size_t>(y);
    switch (m_head.bitCount) {
    case 8:
        return row[x];
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0f : row[x >> 1] >> 4;
    default:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

void CxImage::SetPixelIndex(std::int64_t x, std::int64_t y, std::uint8_t index) {
    if (!IsInside(x, y) || m_head.bitCount > 8) {
        return;
    }
    std::uint8_t* row = m_bits.data() + m_effWidth * static_cast<std::size_t>(y);
    switch (m_head.bitCount) {
    case 8:
        row[x] = index;
        return;
    case 4: {
        std::uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<std::uint8_t>((b & 0xf0) | (index & 0x0f))
                    : static_cast<std::uint8_t>((b & 0x0f) | (index << 4));
        return;
    }
    default: {
        std::uint8_t& b = row[x >> 3];
        const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
        b = (index & 1) ? static_cast<std::uint8_t>(b | mask)
                        : static_cast<std::uint8_t>(b & ~mask);
        return;
    }
    }
}

RgbQuad CxImage::GetPixelColor(std::int64_t x, std::int64_t y) const {
    if (!IsInside(x, y)) {
        return RgbQuad{0, 0, 0, 0};
    }
    RgbQuad c;
    if (m_head.bitCount > 8) {
        const std::uint8_t* p = m_bits.data() + m_effWidth * static_cast<std::size_t>(y) +
                                static_cast<std::size_t>(x) * 3;
        c = RgbQuad{p[0], p[1], p[2], 0};
    } else {
        c = GetPaletteColor(GetPixelIndex(x, y));
    }
    c.reserved = AlphaIsValid() ? AlphaGet(x, y) : 255;
    return c;
}

void CxImage::SetPixelColor(std::int64_t x, std::int64_t y, RgbQuad color, bool setAlpha) {
    if (!IsInside(x, y)) {
        return;
    }
    if (m_head.bitCount > 8) {
        std::uint8_t* p = m_bits.data() + m_effWidth * static_cast<std::size_t>(y) +
                          static_cast<std::size_t>(x) * 3;
        p[0] = color.blue;
        p[1] = color.green;
        p[2] = color.red;
    } else {
        SetPixelIndex(x, y, GetNearestIndex(color));
    }
    if (setAlpha && AlphaIsValid()) {
        AlphaSet(x, y, color.reserved);
    }
}

std::uint8_t CxImage::GetNearestIndex(RgbQuad color) const {
    std::uint8_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < m_palette.size(); ++i) {
        const RgbQuad& p = m_palette[i];
        const long dr = long{p.red} - color.red;
        const long dg = long{p.green} - color.green;
        const long db = long{p.blue} - color.blue;
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<std::uint8_t>(i);
            if (d == 0) {
                break;
            }
        }
    }
    return best;
}

bool CxImage::AlphaCreate() {
    if (!IsValid()) {
        return false;
    }
    if (m_alpha.empty()) {
        m_alpha.assign(static_cast<std::size_t>(Width()) * Height(), 255);
    }
    return true;
}

std::uint8_t CxImage::AlphaGet(std::int64_t x, std::int64_t y) const {
    if (m_alpha.empty() || !IsInside(x, y)) {
        return 0;
    }
    return m_alpha[static_cast<std::size_t>(y) * Width() + static_cast<std::size_t>(x)];
}

void CxImage::AlphaSet(std::int64_t x, std::int64_t y, std::uint8_t value) {
    if (m_alpha.empty() || !IsInside(x, y)) {
        return;
    }
    m_alpha[static_cast<std::size_t>(y) * Width() + static_cast<std::size_t>(x)] = value;
}

std::uint8_t* CxImage::AlphaGetPointer(std::uint32_t x, std::uint32_t y) {
    if (m_alpha.empty() || !IsInside(x, y)) {
        return nullptr;
    }
    return m_alpha.data() + static_cast<std::size_t>(y) * Width() + x;
}

const std::uint8_t* CxImage::AlphaGetPointer(std::uint32_t x, std::uint32_t y) const {
    if (m_alpha.empty() || !IsInside(x, y)) {
        return nullptr;
    }
    return m_alpha.data() + static_cast<std::size_t>(y) * Width() + x;
}

bool CxImage::SelectionCreate() {
    if (!IsValid()) {
        return false;
    }
    if (m_selection.empty()) {
        m_selection.assign(static_cast<std::size_t>(Width()) * Height(), 0);
        m_selectionBox = ImageRect{m_head.width, 0, 0, m_head.height};
    }
    return true;
}

void CxImage::DeleteSelection() {
    m_selection.clear();
    m_selectionBox = ImageRect{};
}

bool CxImage::SetSelectionLevel(std::uint8_t level) {
    if (m_selection.empty()) {
        m_lastError = "CxImage::SetSelectionLevel : no selection";
        return false;
    }
    std::fill(m_selection.begin(), m_selection.end(), level);
    if (level == 0) {
        m_selectionBox = ImageRect{m_head.width, 0, 0, m_head.height};
    } else {
        m_selectionBox = ImageRect{0, m_head.height, m_head.width, 0};
    }
    return true;
}

bool CxImage::AddSelectionRect(ImageRect rect, std::uint8_t level) {
    if (!SelectionCreate()) {
        return false;
    }
    const std::int32_t left = std::clamp(std::min(rect.left, rect.right), 0, m_head.width);
    const std::int32_t right = std::clamp(std::max(rect.left, rect.right), 0, m_head.width);
    const std::int32_t bottom = std::clamp(std::min(rect.top, rect.bottom), 0, m_head.height);
    const std::int32_t top = std::clamp(std::max(rect.top, rect.bottom), 0, m_head.height);
    if (left < right && bottom < top) {
        m_selectionBox.left = std::min(m_selectionBox.left, left);
        m_selectionBox.right = std::max(m_selectionBox.right, right);
        m_selectionBox.bottom = std::min(m_selectionBox.bottom, bottom);
        m_selectionBox.top = std::max(m_selectionBox.top, top);
    }
    for (std::int32_t y = bottom; y < top; ++y) {
        std::uint8_t* row = m_selection.data() + static_cast<std::size_t>(y) * Width();
        std::fill(row + left, row + right, level);
    }
    return true;
}

std::uint8_t CxImage::SelectionGet(std::int64_t x, std::int64_t y) const {
    if (m_selection.empty() || !IsInside(x, y)) {
        return 0;
    }
    return m_selection[static_cast<std::size_t>(y) * Width() + static_cast<std::size_t>(x)];
}

bool CxImage::SelectionIsInside(std::int64_t x, std::int64_t y) const {
    if (m_selection.empty()) {
        return true;
    }
    const ImageRect& b = m_selectionBox;
    if (x < b.left || x >= b.right || y < b.bottom || y >= b.top) {
        return false;
    }
    return SelectionGet(x, y) != 0;
}

void CxImage::SetJpegQuality(float quality) {
    m_jpegQuality = std::clamp(quality, 0.0f, 100.0f);
}

void CxImage::SetXDPI(std::int32_t dpi) {
    m_xDpi = dpi > 0 ? dpi : 96;
    m_head.xPelsPerMeter = DpiToPelsPerMeter(m_xDpi);
}

void CxImage::SetYDPI(std::int32_t dpi) {
    m_yDpi = dpi > 0 ? dpi : 96;
    m_head.yPelsPerMeter = DpiToPelsPerMeter(m_yDpi);
}

bool CxImage::IsTransparent() const {
    if (m_transIndex < 0) {
        return false;
    }
    return m_head.bitCount > 8 || static_cast<std::size_t>(m_transIndex) < m_palette.size();
}

RgbQuad CxImage::GetTransColor() const {
    if (m_head.bitCount <= 8 && m_transIndex >= 0) {
        return GetPaletteColor(static_cast<std::uint32_t>(m_transIndex));
    }
    return m_transColor;
}
