// Geometry, colour and selection operations of the image object.

#include "imaging/Image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace {

std::uint8_t Clamp255(long v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0L, 255L));
}

std::uint8_t GreyOf(const RgbQuad& c) {
    return static_cast<std::uint8_t>((306 * c.red + 601 * c.green + 117 * c.blue) >> 10);
}

// Recomputes a selection box from its mask (empty box when nothing is set).
ImageRect MaskBox(const std::vector<std::uint8_t>& mask, std::int32_t width, std::int32_t height) {
    ImageRect box{width, 0, 0, height};
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = mask.data() + static_cast<std::size_t>(y) * width;
        for (std::int32_t x = 0; x < width; ++x) {
            if (row[x]) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::min(box.bottom, y);
                box.top = std::max(box.top, y + 1);
            }
        }
    }
    return box;
}

} // namespace

bool CxImage::IncreaseBpp(std::uint32_t bpp) {
    bpp = RoundBpp(bpp);
    if (!IsValid() || bpp <= GetBpp()) {
        return IsValid() && bpp == GetBpp();
    }
    CxImage out;
    if (!out.Create(Width(), Height(), bpp, m_type)) {
        m_lastError = out.GetLastError();
        return false;
    }
    if (bpp <= 8) {
        out.SetPalette(m_palette);
    }
    for (std::uint32_t y = 0; y < Height(); ++y) {
        if (Escaped()) {
            return false;
        }
        if (bpp <= 8) {
            for (std::uint32_t x = 0; x < Width(); ++x) {
                out.SetPixelIndex(x, y, GetPixelIndex(x, y));
            }
            continue;
        }
        std::uint8_t* dst = out.GetBits(y);
        for (std::uint32_t x = 0; x < Width(); ++x) {
            const RgbQuad c = GetPaletteColor(GetPixelIndex(x, y));
            dst[3 * x] = c.blue;
            dst[3 * x + 1] = c.green;
            dst[3 * x + 2] = c.red;
        }
    }
    out.m_alpha = m_alpha;
    out.m_selection = m_selection;
    out.m_selectionBox = m_selectionBox;
    const std::int32_t trans = m_transIndex;
    const RgbQuad transColor = GetTransColor();
    TakePixels(std::move(out));
    m_transIndex = trans;
    if (bpp > 8 && trans >= 0) {
        m_transColor = transColor;
    }
    return true;
}

bool CxImage::DecreaseBpp(std::uint32_t bpp, std::span<const RgbQuad> palette) {
    bpp = RoundBpp(bpp);
    if (!IsValid() || bpp > 8 || GetBpp() <= bpp) {
        return IsValid() && GetBpp() == bpp;
    }
    CxImage out;
    if (!out.Create(Width(), Height(), bpp, m_type)) {
        m_lastError = out.GetLastError();
        return false;
    }
    if (!palette.empty()) {
        out.SetPalette(palette);
    }
    std::unordered_map<std::uint32_t, std::uint8_t> cache;
    for (std::uint32_t y = 0; y < Height(); ++y) {
        if (Escaped()) {
            return false;
        }
        for (std::uint32_t x = 0; x < Width(); ++x) {
            const RgbQuad c = GetPixelColor(x, y);
            const std::uint32_t key = (std::uint32_t{c.red} << 16) | (c.green << 8) | c.blue;
            auto it = cache.find(key);
            if (it == cache.end()) {
                it = cache.emplace(key, out.GetNearestIndex(c)).first;
            }
            out.SetPixelIndex(x, y, it->second);
        }
    }
    out.m_alpha = m_alpha;
    out.m_selection = m_selection;
    out.m_selectionBox = m_selectionBox;
    std::int32_t trans = -1;
    if (m_transIndex >= 0) {
        trans = out.GetNearestIndex(GetTransColor());
    }
    TakePixels(std::move(out));
    m_transIndex = trans;
    return true;
}

bool CxImage::RotateLeft90() {
    return RotateQuarter(true);
}

bool CxImage::RotateRight90() {
    return RotateQuarter(false);
}

// One pass for either quarter turn (three left turns would do for a right
// one, three times slower).
bool CxImage::RotateQuarter(bool left) {
    if (!IsValid()) {
        return false;
    }
    const std::uint32_t w = Width(), h = Height();
    CxImage out;
    if (!out.Create(h, w, GetBpp(), m_type)) {
        m_lastError = out.GetLastError();
        return false;
    }
    out.m_palette = m_palette;
    if (!m_alpha.empty()) {
        out.m_alpha.resize(m_alpha.size());
    }
    if (!m_selection.empty()) {
        out.m_selection.resize(m_selection.size());
    }
    // Rows counted from the bottom. Left: new (x', y') shows old (y', h - 1 - x');
    // right: new (x', y') shows old (w - 1 - y', x').
    for (std::uint32_t ny = 0; ny < w; ++ny) {
        if (Escaped()) {
            return false;
        }
        for (std::uint32_t nx = 0; nx < h; ++nx) {
            const std::uint32_t ox = left ? ny : w - 1 - ny;
            const std::uint32_t oy = left ? h - 1 - nx : nx;
            if (GetBpp() == 24) {
                std::memcpy(out.GetBits(ny) + 3 * nx, GetBits(oy) + 3 * ox, 3);
            } else {
                out.SetPixelIndex(nx, ny, GetPixelIndex(ox, oy));
            }
            const std::size_t src = std::size_t{oy} * w + ox, dst = std::size_t{ny} * h + nx;
            if (!m_alpha.empty()) {
                out.m_alpha[dst] = m_alpha[src];
            }
            if (!m_selection.empty()) {
                out.m_selection[dst] = m_selection[src];
            }
        }
    }
    if (!out.m_selection.empty()) {
        out.m_selectionBox = MaskBox(out.m_selection, out.m_head.width, out.m_head.height);
    }
    out.m_transIndex = m_transIndex;
    out.m_transColor = m_transColor;
    out.m_bkColor = m_bkColor;
    std::swap(m_xDpi, m_yDpi);
    TakePixels(std::move(out));
    SetXDPI(m_xDpi);
    SetYDPI(m_yDpi);
    return true;
}

bool CxImage::Invert() {
    if (!IsValid()) {
        return false;
    }
    CxImage out(*this);
    const RgbQuad bk = m_bkColor;
    out.m_bkColor =
        RgbQuad{static_cast<std::uint8_t>(255 - bk.blue), static_cast<std::uint8_t>(255 - bk.green),
                static_cast<std::uint8_t>(255 - bk.red), bk.reserved};
    if (GetBpp() <= 8 && !IsGrayScale()) {
        for (RgbQuad& c : out.m_palette) {
            c = RgbQuad{static_cast<std::uint8_t>(255 - c.blue),
                        static_cast<std::uint8_t>(255 - c.green),
                        static_cast<std::uint8_t>(255 - c.red), 0};
        }
        TakePixels(std::move(out));
        return true;
    }
    const auto last = static_cast<std::uint8_t>(GetNumColors() - 1);
    for (std::uint32_t y = 0; y < Height(); ++y) {
        if (Escaped()) {
            return false;
        }
        std::uint8_t* row = out.GetBits(y);
        for (std::uint32_t x = 0; x < Width(); ++x) {
            if (!SelectionIsInside(x, y)) {
                continue;
            }
            if (GetBpp() == 24) {
                for (int i = 0; i < 3; ++i) {
                    row[3 * x + i] = static_cast<std::uint8_t>(255 - row[3 * x + i]);
                }
            } else {
                out.SetPixelIndex(x, y, static_cast<std::uint8_t>(last - GetPixelIndex(x, y)));
            }
        }
    }
    TakePixels(std::move(out));
    return true;
}

bool CxImage::ToGrayscale() {
    if (!IsValid()) {
        return false;
    }
    CxImage out;
    if (!out.Create(Width(), Height(), 8, m_type)) {
        m_lastError = out.GetLastError();
        return false;
    }
    std::uint8_t map[256] = {};
    for (std::uint32_t i = 0; i < GetNumColors(); ++i) {
        map[i] = GreyOf(m_palette[i]);
    }
    for (std::uint32_t y = 0; y < Height(); ++y) {
        if (Escaped()) {
            return false;
        }
        std::uint8_t* dst = out.GetBits(y);
        const std::uint8_t* src = GetBits(y);
        for (std::uint32_t x = 0; x < Width(); ++x) {
            if (GetBpp() == 24) {
                dst[x] = GreyOf(RgbQuad{src[3 * x], src[3 * x + 1], src[3 * x + 2], 0});
            } else {
                dst[x] = map[GetPixelIndex(x, y)];
            }
        }
    }
    out.m_alpha = m_alpha;
    out.m_selection = m_selection;
    out.m_selectionBox = m_selectionBox;
    out.m_bkColor = m_bkColor;
    out.m_transIndex = IsTransparent() ? GreyOf(GetTransColor()) : -1;
    TakePixels(std::move(out));
    return true;
}

namespace {

// Applies a per-channel mapping to the palette, or to the pixels of a
// 24-bit picture inside its selection; stops (false) on the escape flag.
template <typename Map> bool MapChannels(CxImage& image, CxImage& out, Map map) {
    if (image.GetBpp() <= 8) {
        for (std::uint32_t i = 0; i < image.GetNumColors(); ++i) {
            RgbQuad c = image.GetPaletteColor(i);
            c.red = map(0, c.red);
            c.green = map(1, c.green);
            c.blue = map(2, c.blue);
            out.SetPaletteColor(i, c);
        }
        return true;
    }
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        if (image.GetEscape()) {
            return false;
        }
        std::uint8_t* row = out.GetBits(y);
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            if (!image.SelectionIsInside(x, y)) {
                continue;
            }
            row[3 * x] = map(2, row[3 * x]);
            row[3 * x + 1] = map(1, row[3 * x + 1]);
            row[3 * x + 2] = map(0, row[3 * x + 2]);
        }
    }
    return true;
}

} // namespace

bool CxImage::ShiftChannels(int red, int green, int blue) {
    if (!IsValid()) {
        return false;
    }
    const int shift[3] = {red, green, blue};
    CxImage out(*this);
    if (!MapChannels(*this, out, [&](int channel, std::uint8_t v) {
            return Clamp255(long{v} + shift[channel]);
        })) {
        return false;
    }
    TakePixels(std::move(out));
    return true;
}

std::vector<std::uint8_t> CxImage::LightTable(int brightness, int contrast) {
    std::vector<std::uint8_t> table(256);
    const double factor = (100.0 + contrast) / 100.0;
    for (int i = 0; i < 256; ++i) {
        const double v = (i - 128) * factor + brightness + 128 + 0.5;
        table[static_cast<std::size_t>(i)] = Clamp255(static_cast<long>(std::trunc(v)));
    }
    return table;
}

bool CxImage::AdjustLight(int brightness, int contrast) {
    if (!IsValid()) {
        return false;
    }
    const std::vector<std::uint8_t> table = LightTable(brightness, contrast);
    CxImage out(*this);
    if (!MapChannels(*this, out, [&](int, std::uint8_t v) { return table[v]; })) {
        return false;
    }
    TakePixels(std::move(out));
    return true;
}

bool CxImage::CropTo(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    if (!IsValid()) {
        return false;
    }
    left = std::clamp(left, 0, m_head.width);
    right = std::clamp(right, 0, m_head.width);
    top = std::clamp(top, 0, m_head.height);
    bottom = std::clamp(bottom, 0, m_head.height);
    if (left == right || top == bottom) {
        m_lastError = "CxImage::CropTo : empty rectangle";
        return false;
    }
    if (left > right) {
        std::swap(left, right);
    }
    if (top > bottom) {
        std::swap(top, bottom);
    }
    const auto w = static_cast<std::uint32_t>(right - left);
    const auto h = static_cast<std::uint32_t>(bottom - top);
    CxImage out;
    if (!out.Create(w, h, GetBpp(), m_type)) {
        m_lastError = out.GetLastError();
        return false;
    }
    out.m_palette = m_palette;
    // Top-down rows top … bottom - 1 are bottom-up rows from height - bottom.
    const std::uint32_t yOffset = Height() - static_cast<std::uint32_t>(bottom);
    const auto xOffset = static_cast<std::uint32_t>(left);
    for (std::uint32_t y = 0; y < h; ++y) {
        if (Escaped()) {
            return false;
        }
        if (GetBpp() >= 8) {
            const std::size_t bytes = GetBpp() / 8;
            std::memcpy(out.GetBits(y), GetBits(y + yOffset) + xOffset * bytes, w * bytes);
            continue;
        }
        for (std::uint32_t x = 0; x < w; ++x) {
            out.SetPixelIndex(x, y, GetPixelIndex(x + xOffset, y + yOffset));
        }
    }
    auto cropPlane = [&](const std::vector<std::uint8_t>& plane) {
        std::vector<std::uint8_t> result(std::size_t{w} * h);
        for (std::uint32_t y = 0; y < h; ++y) {
            const std::uint8_t* src = plane.data() + std::size_t{y + yOffset} * Width() + xOffset;
            std::memcpy(result.data() + std::size_t{y} * w, src, w);
        }
        return result;
    };
    if (!m_alpha.empty()) {
        out.m_alpha = cropPlane(m_alpha);
    }
    if (!m_selection.empty()) {
        out.m_selection = cropPlane(m_selection);
        out.m_selectionBox = MaskBox(out.m_selection, out.m_head.width, out.m_head.height);
    }
    out.m_transIndex = m_transIndex;
    out.m_transColor = m_transColor;
    out.m_bkColor = m_bkColor;
    TakePixels(std::move(out));
    return true;
}

bool CxImage::RemoveRedEye() {
    if (!IsValid()) {
        return false;
    }
    ImageRect box{0, m_head.height, m_head.width, 0};
    if (SelectionIsValid()) {
        box = m_selectionBox;
    }
    const double xmin = box.left, xmax = box.right, ymin = box.bottom, ymax = box.top;
    if (xmax <= xmin || ymax <= ymin) {
        m_lastError = "CxImage::RemoveRedEye : empty selection";
        return false;
    }
    CxImage out(*this);
    if (out.GetBpp() != 24 && !out.IncreaseBpp(24)) {
        m_lastError = out.GetLastError();
        return false;
    }
    const double cx = (xmin + xmax) / 2, cy = (ymin + ymax) / 2;
    const double area = (xmax - xmin) * (ymax - ymin);
    for (auto y = static_cast<std::uint32_t>(box.bottom); y < static_cast<std::uint32_t>(box.top);
         ++y) {
        if (Escaped()) {
            return false;
        }
        std::uint8_t* row = out.GetBits(y);
        for (auto x = static_cast<std::uint32_t>(box.left);
             x < static_cast<std::uint32_t>(box.right); ++x) {
            if (SelectionIsValid() && SelectionGet(x, y) == 0) {
                continue;
            }
            const double a =
                std::max(0.0, 1.0 - 5.0 * ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / area);
            std::uint8_t* p = row + 3 * x;
            const double low = std::min(p[1], p[0]);
            p[2] = static_cast<std::uint8_t>(std::trunc(a * low + (1 - a) * p[2]));
        }
    }
    TakePixels(std::move(out));
    return true;
}

std::unique_ptr<DeviceBitmap> CxImage::ToDeviceBitmap() const {
    if (!IsValid()) {
        return nullptr;
    }
    auto bitmap = std::make_unique<DeviceBitmap>();
    bitmap->width = m_head.width;
    bitmap->height = m_head.height;
    bitmap->stride = RowBytes(Width(), 24);
    bitmap->bits.resize(bitmap->stride * Height());
    for (std::uint32_t y = 0; y < Height(); ++y) {
        std::uint8_t* dst = bitmap->bits.data() + bitmap->stride * y;
        if (GetBpp() == 24) {
            std::memcpy(dst, GetBits(y), std::size_t{Width()} * 3);
            continue;
        }
        for (std::uint32_t x = 0; x < Width(); ++x) {
            const RgbQuad c = GetPaletteColor(GetPixelIndex(x, y));
            dst[3 * x] = c.blue;
            dst[3 * x + 1] = c.green;
            dst[3 * x + 2] = c.red;
        }
    }
    return bitmap;
}
