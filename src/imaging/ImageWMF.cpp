#include "imaging/ImageWMF.h"

#include "imaging/ByteReader.h"
#include "imaging/ImageBMP.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using imaging::ByteReader;

constexpr std::uint32_t kPlaceableKey = 0x9ac6cdd7;
constexpr std::uint32_t kEmfSignature = 0x464d4520; // " EMF"
constexpr double kMaxSide = 4096;
// Pixels filled or copied per picture before it counts as too complex.
constexpr std::uint64_t kWorkBudget = 1ull << 28;

struct Color {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

Color FromColorRef(std::uint32_t ref) {
    return {static_cast<std::uint8_t>(ref), static_cast<std::uint8_t>(ref >> 8),
            static_cast<std::uint8_t>(ref >> 16)};
}

struct Pen {
    std::uint32_t style = 0; // 5: none
    double width = 0;        // logical units; 0 is one pixel
    Color color{};
};

struct Brush {
    std::uint32_t style = 0; // 0 solid, 1 none, 2 hatched
    Color color{255, 255, 255};
    std::uint32_t hatch = 0;
};

struct Font {
    double height = 0; // logical units; negative: character height
    std::string face;
    bool bold = false;
};

struct GdiObject {
    enum Kind { kEmpty, kPen, kBrush, kFont, kOther } kind = kEmpty;
    Pen pen;
    Brush brush;
    Font font;
};

struct Point {
    double x = 0;
    double y = 0;
};

// The drawing state of the playback, saved and restored as a whole.
struct DcState {
    Pen pen{0, 0, {0, 0, 0}};
    Brush brush{};
    Font font{};
    Color textColor{0, 0, 0};
    Color bkColor{255, 255, 255};
    std::uint32_t bkMode = 2;   // 1 transparent, 2 opaque
    std::uint32_t polyFill = 1; // 1 alternate, 2 winding
    std::uint32_t textAlign = 0;
    std::uint32_t mapMode = 1; // 1 text, 7 isotropic, 8 anisotropic
    Point windowOrg{};
    Point windowExt{1, 1};
    Point viewportOrg{};
    Point viewportExt{1, 1};
    Point current{};
};

// The glyph rasterizer for text records: FreeType faces found through
// fontconfig, cached by family name. Shared by all decoding threads under
// one lock.
class FontCache {
public:
    static FontCache& Instance() {
        static FontCache cache;
        return cache;
    }
    std::mutex& Lock() { return m_lock; }
    // The face for a family (the default sans-serif face when the family is
    // unknown); null when no font is installed at all.
    FT_Face Face(const std::string& family) {
        auto it = m_faces.find(family);
        if (it != m_faces.end()) {
            return it->second;
        }
        FT_Face face = Load(family);
        m_faces[family] = face;
        return face;
    }

private:
    FontCache() {
        if (FT_Init_FreeType(&m_library) != 0) {
            m_library = nullptr;
        }
    }
    ~FontCache() {
        for (auto& [name, face] : m_faces) {
            if (face) {
                FT_Done_Face(face);
            }
        }
        if (m_library) {
            FT_Done_FreeType(m_library);
        }
    }
    FT_Face Load(const std::string& family) {
        if (!m_library) {
            return nullptr;
        }
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(
            family.empty() || family.find_first_of(":,-\\") != std::string::npos ? "sans-serif"
                                                                                 : family.c_str()));
        if (!pattern) {
            return nullptr;
        }
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        FT_Face face = nullptr;
        FcChar8* file = nullptr;
        if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            if (FT_New_Face(m_library, reinterpret_cast<const char*>(file), 0, &face) != 0) {
                face = nullptr;
            }
        }
        if (match) {
            FcPatternDestroy(match);
        }
        return face;
    }

    std::mutex m_lock;
    FT_Library m_library = nullptr;
    std::map<std::string, FT_Face> m_faces;
};

// A top-down 24-bit canvas with the fills, strokes, copies and text the
// records need. Every operation counts its pixels against the work budget.
class Canvas {
public:
    Canvas(std::uint32_t width, std::uint32_t height)
        : m_width(width), m_height(height), m_rgb(std::size_t{width} * height * 3, 255) {}

    std::uint32_t Width() const { return m_width; }
    std::uint32_t Height() const { return m_height; }
    bool OverBudget() const { return m_work > kWorkBudget; }
    const std::uint8_t* Row(std::uint32_t y) const {
        return m_rgb.data() + std::size_t{y} * m_width * 3;
    }

    void Plot(std::int64_t x, std::int64_t y, Color c) {
        if (x >= 0 && y >= 0 && x < m_width && y < m_height) {
            std::uint8_t* p = m_rgb.data() + (static_cast<std::size_t>(y) * m_width + x) * 3;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    Color Get(std::int64_t x, std::int64_t y) const {
        const std::uint8_t* p = m_rgb.data() + (static_cast<std::size_t>(y) * m_width + x) * 3;
        return {p[0], p[1], p[2]};
    }
    void Blend(std::int64_t x, std::int64_t y, Color c, unsigned coverage) {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height || coverage == 0) {
            return;
        }
        std::uint8_t* p = m_rgb.data() + (static_cast<std::size_t>(y) * m_width + x) * 3;
        const unsigned keep = 255 - coverage;
        p[0] = static_cast<std::uint8_t>((c.r * coverage + p[0] * keep + 127) / 255);
        p[1] = static_cast<std::uint8_t>((c.g * coverage + p[1] * keep + 127) / 255);
        p[2] = static_cast<std::uint8_t>((c.b * coverage + p[2] * keep + 127) / 255);
    }

    // Fills the polygons (pixel centres inside, by the even-odd or the
    // non-zero winding rule) with a solid or hatched brush.
    void Fill(const std::vector<std::vector<Point>>& polygons, bool winding, const Brush& brush) {
        if (brush.style == 1) {
            return;
        }
        double top = m_height;
        double bottom = 0;
        for (const auto& poly : polygons) {
            for (const Point& p : poly) {
                top = std::min(top, p.y);
                bottom = std::max(bottom, p.y);
            }
        }
        const auto y0 = static_cast<std::int64_t>(std::max(0.0, std::floor(top)));
        const auto y1 = static_cast<std::int64_t>(std::min<double>(m_height, std::ceil(bottom)));
        std::size_t edges = 0;
        for (const auto& poly : polygons) {
            edges += poly.size();
        }
        std::vector<std::pair<double, int>> crossings;
        for (std::int64_t y = y0; y < y1 && !OverBudget(); ++y) {
            const double sy = y + 0.5;
            crossings.clear();
            for (const auto& poly : polygons) {
                for (std::size_t i = 0; i < poly.size(); ++i) {
                    const Point& a = poly[i];
                    const Point& b = poly[(i + 1) % poly.size()];
                    if ((a.y <= sy) == (b.y <= sy)) {
                        continue;
                    }
                    const double x = a.x + (sy - a.y) * (b.x - a.x) / (b.y - a.y);
                    crossings.emplace_back(x, b.y > a.y ? 1 : -1);
                }
            }
            std::sort(crossings.begin(), crossings.end());
            int count = 0;
            for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
                count += winding ? crossings[i].second : 1;
                const bool inside = winding ? count != 0 : (count & 1) != 0;
                if (inside) {
                    Span(y, crossings[i].first, crossings[i + 1].first, brush);
                }
            }
            m_work += edges + crossings.size() + 1;
        }
    }

    // Strokes a line through the points, `width` pixels wide.
    void Stroke(const std::vector<Point>& points, bool closed, double width, Color color) {
        const std::size_t n = points.size();
        if (n == 0) {
            return;
        }
        const std::size_t segments = closed ? n : n - 1;
        for (std::size_t i = 0; i < segments; ++i) {
            Segment(points[i], points[(i + 1) % n], width, color);
        }
        if (n == 1) {
            Segment(points[0], points[0], width, color);
        }
    }

    // Copies `src` (its rectangle in top-down pixels) stretched onto the
    // rectangle from `a` to `b` (either may be the larger corner, which
    // mirrors), combining by the raster operation.
    void Copy(const CxImage& src, double sx, double sy, double sw, double sh, Point a, Point b,
              std::uint32_t rop) {
        const double dx0 = std::min(a.x, b.x);
        const double dx1 = std::max(a.x, b.x);
        const double dy0 = std::min(a.y, b.y);
        const double dy1 = std::max(a.y, b.y);
        const auto x0 = static_cast<std::int64_t>(std::max(0.0, std::ceil(dx0 - 0.5)));
        const auto x1 = static_cast<std::int64_t>(std::min<double>(m_width, std::ceil(dx1 - 0.5)));
        const auto y0 = static_cast<std::int64_t>(std::max(0.0, std::ceil(dy0 - 0.5)));
        const auto y1 = static_cast<std::int64_t>(std::min<double>(m_height, std::ceil(dy1 - 0.5)));
        if (x0 >= x1 || y0 >= y1 || dx1 - dx0 < 1e-3 || dy1 - dy0 < 1e-3) {
            return;
        }
        const std::int64_t srcW = src.Width();
        const std::int64_t srcH = src.Height();
        for (std::int64_t y = y0; y < y1; ++y) {
            const double v = std::clamp((y + 0.5 - a.y) / (b.y - a.y) * sh + sy, -1.0, srcH + 1.0);
            const auto row =
                std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(v)), 0, srcH - 1);
            for (std::int64_t x = x0; x < x1; ++x) {
                const double u =
                    std::clamp((x + 0.5 - a.x) / (b.x - a.x) * sw + sx, -1.0, srcW + 1.0);
                const auto col =
                    std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(u)), 0, srcW - 1);
                const RgbQuad s = src.GetPixelColor(col, srcH - 1 - row);
                Color c{s.red, s.green, s.blue};
                const Color d = Get(x, y);
                switch (rop) {
                case 0x008800c6: // source and destination
                    c = {static_cast<std::uint8_t>(c.r & d.r), static_cast<std::uint8_t>(c.g & d.g),
                         static_cast<std::uint8_t>(c.b & d.b)};
                    break;
                case 0x00ee0086: // source or destination
                    c = {static_cast<std::uint8_t>(c.r | d.r), static_cast<std::uint8_t>(c.g | d.g),
                         static_cast<std::uint8_t>(c.b | d.b)};
                    break;
                case 0x00660046: // source xor destination
                    c = {static_cast<std::uint8_t>(c.r ^ d.r), static_cast<std::uint8_t>(c.g ^ d.g),
                         static_cast<std::uint8_t>(c.b ^ d.b)};
                    break;
                default:
                    break;
                }
                Plot(x, y, c);
            }
        }
        m_work += static_cast<std::uint64_t>((x1 - x0) * (y1 - y0));
    }

    // Draws UTF-32 text with its pen position at `origin` (left edge,
    // baseline), `pixels` high.
    void Text(const std::u32string& text, Point origin, double pixels, const Font& font,
              Color color, double& advance, double& ascent, double& descent, bool measureOnly) {
        advance = ascent = descent = 0;
        FontCache& cache = FontCache::Instance();
        std::lock_guard<std::mutex> lock(cache.Lock());
        FT_Face face = cache.Face(font.face);
        if (!face || pixels < 1 || pixels > kMaxSide) {
            return;
        }
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(std::lround(pixels))) != 0) {
            return;
        }
        ascent = face->size->metrics.ascender / 64.0;
        descent = -face->size->metrics.descender / 64.0;
        double penX = origin.x;
        for (char32_t ch : text) {
            if (OverBudget()) {
                break;
            }
            if (FT_Load_Char(face, ch, measureOnly ? FT_LOAD_DEFAULT : FT_LOAD_RENDER) != 0) {
                continue;
            }
            const FT_GlyphSlot g = face->glyph;
            if (!measureOnly) {
                const FT_Bitmap& bm = g->bitmap;
                const auto left = static_cast<std::int64_t>(std::lround(penX)) + g->bitmap_left;
                const auto top = static_cast<std::int64_t>(std::lround(origin.y)) - g->bitmap_top;
                for (unsigned row = 0; row < bm.rows; ++row) {
                    for (unsigned col = 0; col < bm.width; ++col) {
                        Blend(left + col, top + row, color, bm.buffer[row * bm.pitch + col]);
                    }
                }
                m_work += std::uint64_t{bm.rows} * bm.width;
            }
            penX += g->advance.x / 64.0;
        }
        advance = penX - origin.x;
    }

private:
    void Span(std::int64_t y, double xa, double xb, const Brush& brush) {
        const auto x0 = static_cast<std::int64_t>(std::max(0.0, std::ceil(xa - 0.5)));
        const auto x1 = static_cast<std::int64_t>(std::min<double>(m_width, std::ceil(xb - 0.5)));
        for (std::int64_t x = x0; x < x1; ++x) {
            if (brush.style != 2 || Hatched(brush.hatch, x, y)) {
                Plot(x, y, brush.color);
            }
        }
        m_work += static_cast<std::uint64_t>(std::max<std::int64_t>(0, x1 - x0));
    }
    static bool Hatched(std::uint32_t hatch, std::int64_t x, std::int64_t y) {
        switch (hatch) {
        case 0: // horizontal
            return y % 8 == 0;
        case 1: // vertical
            return x % 8 == 0;
        case 2: // forward diagonal
            return (x - y) % 8 == 0;
        case 3: // backward diagonal
            return (x + y) % 8 == 0;
        case 4: // cross
            return x % 8 == 0 || y % 8 == 0;
        default: // diagonal cross
            return (x - y) % 8 == 0 || (x + y) % 8 == 0;
        }
    }
    void Segment(Point a, Point b, double width, Color color) {
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double length = std::hypot(dx, dy);
        if (width <= 1.5) {
            const auto steps =
                static_cast<std::int64_t>(std::ceil(std::max(std::abs(dx), std::abs(dy))));
            const std::int64_t clamped = std::min<std::int64_t>(steps, 4 * kMaxSide);
            for (std::int64_t i = 0; i <= clamped; ++i) {
                const double t = clamped ? static_cast<double>(i) / clamped : 0;
                Plot(static_cast<std::int64_t>(std::floor(a.x + dx * t)),
                     static_cast<std::int64_t>(std::floor(a.y + dy * t)), color);
            }
            m_work += static_cast<std::uint64_t>(clamped + 1);
            return;
        }
        // A wide line: the rectangle around the segment, with square ends.
        const double half = width / 2;
        const double ux = length > 0 ? dx / length : 1;
        const double uy = length > 0 ? dy / length : 0;
        const double nx = -uy * half;
        const double ny = ux * half;
        const double ex = ux * half;
        const double ey = uy * half;
        Brush solid{0, color, 0};
        Fill({{{a.x - ex + nx, a.y - ey + ny},
               {b.x + ex + nx, b.y + ey + ny},
               {b.x + ex - nx, b.y + ey - ny},
               {a.x - ex - nx, a.y - ey - ny}}},
             true, solid);
    }

    std::uint32_t m_width;
    std::uint32_t m_height;
    std::vector<std::uint8_t> m_rgb;
    std::uint64_t m_work = 0;
};

// A device-independent bitmap (info header, colours, pixels) decoded by the
// BMP decoder behind a file header.
bool DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
               CxImage& out) {
    ByteReader r(info);
    const std::uint32_t headerSize = r.U32LE();
    if (!r.Ok() || headerSize < 12 || headerSize > info.size()) {
        return false;
    }
    std::vector<std::uint8_t> file = {'B', 'M'};
    const std::size_t offBits = 14 + info.size();
    const std::size_t total = offBits + bits.size();
    for (std::size_t v : {total, std::size_t{0}, offBits}) {
        for (int i = 0; i < 4; ++i) {
            file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), bits.begin(), bits.end());
    return CxImageBMP::Decode(file, out);
}

// The size of the colour table and masks after a DIB's info header.
std::size_t DibColorBytes(std::span<const std::uint8_t> dib) {
    ByteReader r(dib);
    const std::uint32_t headerSize = r.U32LE();
    if (headerSize == 12) {
        r.Skip(6);
        const std::uint16_t bpp = r.U16LE();
        return bpp <= 8 ? (std::size_t{1} << bpp) * 3 : 0;
    }
    r.Skip(10);
    const std::uint16_t bpp = r.U16LE();
    const std::uint32_t compression = r.U32LE();
    r.Skip(12);
    const std::uint32_t used = r.U32LE();
    std::size_t bytes = 0;
    if (bpp <= 8) {
        bytes = std::size_t{used ? std::min<std::uint32_t>(used, 1u << bpp) : 1u << bpp} * 4;
    } else if (used) {
        bytes = std::size_t{std::min<std::uint32_t>(used, 256)} * 4;
    }
    if (headerSize == 40 && (compression == 3 || compression == 6)) {
        bytes += compression == 3 ? 12 : 16;
    }
    return bytes;
}

// Plays the records of either kind onto the canvas; subclasses read them.
class Player {
public:
    Player(Canvas& canvas) : m_canvas(canvas) {}

protected:
    // Logical coordinates to device coordinates, then to canvas pixels.
    Point ToDevice(double x, double y) const {
        const DcState& s = m_state;
        if (s.mapMode == 7 || s.mapMode == 8) {
            const double wx = s.windowExt.x ? s.windowExt.x : 1;
            const double wy = s.windowExt.y ? s.windowExt.y : 1;
            return {(x - s.windowOrg.x) * s.viewportExt.x / wx + s.viewportOrg.x,
                    (y - s.windowOrg.y) * s.viewportExt.y / wy + s.viewportOrg.y};
        }
        return {x - s.windowOrg.x + s.viewportOrg.x, y - s.windowOrg.y + s.viewportOrg.y};
    }
    // Canvas pixels, kept finite and within a range the rasterizer's
    // integer conversions can take, whatever the file's mapping says.
    Point Map(double x, double y) const {
        const Point d = ToDevice(x, y);
        return {Bounded((d.x - m_deviceOrigin.x) * m_deviceScale.x),
                Bounded((d.y - m_deviceOrigin.y) * m_deviceScale.y)};
    }
    static double Bounded(double v) {
        constexpr double kFar = 1e7;
        return std::isfinite(v) ? std::clamp(v, -kFar, kFar) : 0.0;
    }
    double MapLength(double length) const {
        const Point a = Map(0, 0);
        const Point b = Map(length, 0);
        return std::abs(b.x - a.x);
    }
    double MapHeight(double length) const {
        const Point a = Map(0, 0);
        const Point b = Map(0, length);
        return std::abs(b.y - a.y);
    }

    void Shape(std::vector<std::vector<Point>> polygons, bool fill, bool stroke) {
        if (fill) {
            m_canvas.Fill(polygons, m_state.polyFill == 2, m_state.brush);
        }
        if (stroke && m_state.pen.style != 5) {
            const double width = std::max(1.0, MapLength(m_state.pen.width));
            for (const auto& poly : polygons) {
                m_canvas.Stroke(poly, fill, width, m_state.pen.color);
            }
        }
    }
    void Polygon(const std::vector<Point>& logical, bool closed) {
        std::vector<Point> pts;
        pts.reserve(logical.size());
        for (const Point& p : logical) {
            pts.push_back(Map(p.x, p.y));
        }
        Shape({pts}, closed, true);
    }
    void Rectangle(double l, double t, double r, double b) {
        const Point a = Map(l, t);
        const Point c = Map(r, b);
        Shape({{a, {c.x, a.y}, c, {a.x, c.y}}}, true, true);
    }
    void Ellipse(double l, double t, double r, double b) {
        const Point a = Map(l, t);
        const Point c = Map(r, b);
        const double cx = (a.x + c.x) / 2;
        const double cy = (a.y + c.y) / 2;
        const double rx = std::abs(c.x - a.x) / 2;
        const double ry = std::abs(c.y - a.y) / 2;
        const int steps = static_cast<int>(std::clamp((rx + ry) * 2, 16.0, 720.0));
        std::vector<Point> pts;
        for (int i = 0; i < steps; ++i) {
            const double angle = 2 * M_PI * i / steps;
            pts.push_back({cx + rx * std::cos(angle), cy + ry * std::sin(angle)});
        }
        Shape({pts}, true, true);
    }
    void RoundRect(double l, double t, double r, double b, double w, double h) {
        const Point a = Map(l, t);
        const Point c = Map(r, b);
        const double x0 = std::min(a.x, c.x), x1 = std::max(a.x, c.x);
        const double y0 = std::min(a.y, c.y), y1 = std::max(a.y, c.y);
        const double rx = std::min(MapLength(w) / 2, (x1 - x0) / 2);
        const double ry = std::min(MapHeight(h) / 2, (y1 - y0) / 2);
        std::vector<Point> pts;
        const Point centres[4] = {
            {x1 - rx, y0 + ry}, {x0 + rx, y0 + ry}, {x0 + rx, y1 - ry}, {x1 - rx, y1 - ry}};
        for (int q = 0; q < 4; ++q) {
            for (int i = 0; i <= 8; ++i) {
                const double angle = M_PI / 2 * (q + i / 8.0);
                pts.push_back(
                    {centres[q].x + rx * std::cos(angle), centres[q].y - ry * std::sin(angle)});
            }
        }
        Shape({pts}, true, true);
    }
    void LineTo(double x, double y) {
        if (m_state.pen.style != 5) {
            const double width = std::max(1.0, MapLength(m_state.pen.width));
            m_canvas.Stroke({Map(m_state.current.x, m_state.current.y), Map(x, y)}, false, width,
                            m_state.pen.color);
        }
        m_state.current = {x, y};
    }
    void Text(const std::u32string& text, double x, double y, bool opaqueBox) {
        const Font& font = m_state.font;
        const double pixels =
            font.height == 0 ? 16
                             : MapHeight(std::abs(font.height)) * (font.height > 0 ? 0.8 : 1.0);
        Point origin = Map(x, y);
        double advance = 0, ascent = 0, descent = 0;
        m_canvas.Text(text, origin, pixels, font, m_state.textColor, advance, ascent, descent,
                      true);
        const std::uint32_t align = m_state.textAlign;
        if ((align & 6) == 6) {
            origin.x -= advance / 2;
        } else if (align & 2) {
            origin.x -= advance;
        }
        if ((align & 24) == 24) {
            // baseline: the origin is the baseline already
        } else if (align & 8) {
            origin.y -= descent;
        } else {
            origin.y += ascent;
        }
        if (opaqueBox && m_state.bkMode == 2) {
            Brush bk{0, m_state.bkColor, 0};
            m_canvas.Fill({{{origin.x, origin.y - ascent},
                            {origin.x + advance, origin.y - ascent},
                            {origin.x + advance, origin.y + descent},
                            {origin.x, origin.y + descent}}},
                          false, bk);
        }
        m_canvas.Text(text, origin, pixels, font, m_state.textColor, advance, ascent, descent,
                      false);
    }
    void Save() {
        if (m_saved.size() < 1024) {
            m_saved.push_back(m_state);
        }
    }
    void Restore(std::int32_t which) {
        // Negative: relative to the newest; positive: an absolute level.
        std::size_t level = 0;
        if (which < 0) {
            const auto back = static_cast<std::size_t>(-static_cast<std::int64_t>(which));
            if (back > m_saved.size()) {
                return;
            }
            level = m_saved.size() - back;
        } else {
            if (which == 0 || static_cast<std::size_t>(which) > m_saved.size()) {
                return;
            }
            level = static_cast<std::size_t>(which) - 1;
        }
        m_state = m_saved[level];
        m_saved.resize(level);
    }
    void Select(const GdiObject& o) {
        switch (o.kind) {
        case GdiObject::kPen:
            m_state.pen = o.pen;
            break;
        case GdiObject::kBrush:
            m_state.brush = o.brush;
            break;
        case GdiObject::kFont:
            m_state.font = o.font;
            break;
        default:
            break;
        }
    }
    void Bitmap(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits, double sx,
                double sy, double sw, double sh, double dx, double dy, double dw, double dh,
                std::uint32_t rop) {
        CxImage dib;
        if (!DecodeDib(info, bits, dib)) {
            return; // a broken bitmap leaves its rectangle as it was
        }
        if (sw == 0 || sh == 0) {
            sw = dib.Width();
            sh = dib.Height();
        }
        // Source rows count from the bottom of the bitmap.
        const double top = dib.Height() - sy - sh;
        m_canvas.Copy(dib, sx, top, sw, sh, Map(dx, dy), Map(dx + dw, dy + dh), rop);
    }
    void PatternFill(double x, double y, double w, double h, std::uint32_t rop) {
        Brush brush = m_state.brush;
        if (rop == 0x00000042) { // blackness
            brush = {0, {0, 0, 0}, 0};
        } else if (rop == 0x00ff0062) { // whiteness
            brush = {0, {255, 255, 255}, 0};
        }
        const Point a = Map(x, y);
        const Point c = Map(x + w, y + h);
        m_canvas.Fill({{a, {c.x, a.y}, c, {a.x, c.y}}}, false, brush);
    }

    Canvas& m_canvas;
    DcState m_state;
    std::vector<DcState> m_saved;
    std::vector<GdiObject> m_objects;
    Point m_deviceOrigin{};
    Point m_deviceScale{1, 1};
};

std::u32string Latin1(std::span<const std::uint8_t> bytes) {
    std::u32string out;
    for (std::uint8_t b : bytes) {
        if (b == 0) {
            break;
        }
        out.push_back(b);
    }
    return out;
}

class WmfPlayer : public Player {
public:
    using Player::Player;

    // The records from `start`; the window first spans the bounding box.
    bool Play(ByteReader& r, std::int16_t left, std::int16_t top, std::int16_t right,
              std::int16_t bottom, std::uint16_t objects, std::string& error) {
        m_state.mapMode = 8;
        m_state.windowOrg = {static_cast<double>(left), static_cast<double>(top)};
        m_state.windowExt = {static_cast<double>(right - left), static_cast<double>(bottom - top)};
        m_state.viewportExt = {static_cast<double>(m_canvas.Width()),
                               static_cast<double>(m_canvas.Height())};
        m_objects.assign(objects, GdiObject{});
        while (r.Remaining() >= 6) {
            const std::size_t start = r.Position();
            const std::uint32_t words = r.U32LE();
            const std::uint16_t function = r.U16LE();
            if (words < 3 || words > r.Remaining() / 2 + 3) {
                error = "WMF: record outside the file";
                return false;
            }
            if (function == 0) {
                return true;
            }
            ByteReader params(r.Data().subspan(start + 6, std::size_t{words} * 2 - 6));
            Record(function, params);
            if (m_canvas.OverBudget()) {
                error = "WMF: picture too complex";
                return false;
            }
            r.Seek(start + std::size_t{words} * 2);
        }
        return true; // a missing end record is forgiven
    }

private:
    static double S(ByteReader& p) { return static_cast<std::int16_t>(p.U16LE()); }

    std::vector<Point> Points(ByteReader& p, std::size_t count) {
        std::vector<Point> pts;
        if (count > p.Remaining() / 4) {
            return pts;
        }
        pts.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const double x = S(p);
            const double y = S(p);
            pts.push_back({x, y});
        }
        return pts;
    }
    void Store(GdiObject o) {
        for (GdiObject& slot : m_objects) {
            if (slot.kind == GdiObject::kEmpty) {
                slot = std::move(o);
                return;
            }
        }
    }

    void Record(std::uint16_t function, ByteReader& p) {
        switch (function) {
        case 0x020b: { // set window origin (y, x)
            const double y = S(p);
            m_state.windowOrg = {S(p), y};
            break;
        }
        case 0x020c: { // set window extent (y, x)
            const double y = S(p);
            m_state.windowExt = {S(p), y};
            break;
        }
        case 0x0201: // background colour
            m_state.bkColor = FromColorRef(p.U32LE());
            break;
        case 0x0209: // text colour
            m_state.textColor = FromColorRef(p.U32LE());
            break;
        case 0x0102: // background mode
            m_state.bkMode = p.U16LE();
            break;
        case 0x0106: // polygon fill mode
            m_state.polyFill = p.U16LE();
            break;
        case 0x012e: // text alignment
            m_state.textAlign = p.U16LE();
            break;
        case 0x001e: // save the state
            Save();
            break;
        case 0x0127: // restore a state
            Restore(static_cast<std::int16_t>(p.U16LE()));
            break;
        case 0x02fa: { // create pen
            GdiObject o;
            o.kind = GdiObject::kPen;
            o.pen.style = p.U16LE() & 0x0f;
            o.pen.width = S(p);
            p.U16LE();
            o.pen.color = FromColorRef(p.U32LE());
            Store(o);
            break;
        }
        case 0x02fc: { // create brush
            GdiObject o;
            o.kind = GdiObject::kBrush;
            o.brush.style = p.U16LE();
            o.brush.color = FromColorRef(p.U32LE());
            o.brush.hatch = p.U16LE();
            if (o.brush.style > 2) {
                o.brush.style = 0; // patterns: their colour as a solid fill
            }
            Store(o);
            break;
        }
        case 0x02fb: { // create font
            GdiObject o;
            o.kind = GdiObject::kFont;
            o.font.height = S(p);
            p.Skip(6);
            o.font.bold = p.U16LE() >= 600;
            p.Skip(8);
            auto face = p.Bytes(std::min<std::size_t>(32, p.Remaining()));
            o.font.face = std::string(face.begin(), std::find(face.begin(), face.end(), 0));
            Store(o);
            break;
        }
        case 0x00f7: // palette
        case 0x06ff: // region
        case 0x0142: // pattern brush from a bitmap
        case 0x01f9: // pattern brush
        {
            GdiObject o;
            o.kind =
                function == 0x0142 || function == 0x01f9 ? GdiObject::kBrush : GdiObject::kOther;
            o.brush = {0, {128, 128, 128}, 0};
            Store(o);
            break;
        }
        case 0x012d: { // select
            const std::uint16_t index = p.U16LE();
            if (index < m_objects.size()) {
                Select(m_objects[index]);
            }
            break;
        }
        case 0x01f0: { // delete
            const std::uint16_t index = p.U16LE();
            if (index < m_objects.size()) {
                m_objects[index] = GdiObject{};
            }
            break;
        }
        case 0x0214: { // move to (y, x)
            const double y = S(p);
            m_state.current = {S(p), y};
            break;
        }
        case 0x0213: { // line to (y, x)
            const double y = S(p);
            LineTo(S(p), y);
            break;
        }
        case 0x041b: { // rectangle (bottom, right, top, left)
            const double b = S(p), r = S(p), t = S(p), l = S(p);
            Rectangle(l, t, r, b);
            break;
        }
        case 0x061c: { // rounded rectangle (height, width, bottom, right, top, left)
            const double h = S(p), w = S(p), b = S(p), r = S(p), t = S(p), l = S(p);
            RoundRect(l, t, r, b, w, h);
            break;
        }
        case 0x0418: { // ellipse (bottom, right, top, left)
            const double b = S(p), r = S(p), t = S(p), l = S(p);
            Ellipse(l, t, r, b);
            break;
        }
        case 0x0324:   // polygon
        case 0x0325: { // polyline
            const std::uint16_t count = p.U16LE();
            Polygon(Points(p, count), function == 0x0324);
            break;
        }
        case 0x0538: { // several polygons
            const std::uint16_t polys = p.U16LE();
            std::vector<std::uint16_t> counts;
            for (std::uint16_t i = 0; i < polys && p.Ok(); ++i) {
                counts.push_back(p.U16LE());
            }
            std::vector<std::vector<Point>> shapes;
            for (std::uint16_t c : counts) {
                std::vector<Point> pts;
                for (const Point& q : Points(p, c)) {
                    pts.push_back(Map(q.x, q.y));
                }
                shapes.push_back(std::move(pts));
            }
            if (p.Ok()) {
                Shape(shapes, true, true);
            }
            break;
        }
        case 0x0521: { // text out: count, text (even length), y, x
            const std::uint16_t count = p.U16LE();
            auto text = p.Bytes(count);
            p.Skip(count & 1);
            const double y = S(p);
            const double x = S(p);
            if (p.Ok()) {
                Text(Latin1(text), x, y, true);
            }
            break;
        }
        case 0x0a32: { // extended text out: y, x, count, options, [rectangle], text
            const double y = S(p);
            const double x = S(p);
            const std::uint16_t count = p.U16LE();
            const std::uint16_t options = p.U16LE();
            if (options & 0x0006) {
                p.Skip(8);
            }
            auto text = p.Bytes(count);
            if (p.Ok()) {
                Text(Latin1(text), x, y, (options & 0x0002) != 0);
            }
            break;
        }
        case 0x061d: { // pattern blit: rop, height, width, y, x
            const std::uint32_t rop = p.U32LE();
            const double h = S(p), w = S(p), y = S(p), x = S(p);
            PatternFill(x, y, w, h, rop);
            break;
        }
        case 0x0f43: { // stretch a DIB: rop, usage, srcH, srcW, ySrc, xSrc, dstH, dstW, yDst, xDst,
                       // DIB
            const std::uint32_t rop = p.U32LE();
            p.U16LE();
            const double sh = S(p), sw = S(p), sy = S(p), sx = S(p);
            const double dh = S(p), dw = S(p), dy = S(p), dx = S(p);
            DibRecord(p, sx, sy, sw, sh, dx, dy, dw, dh, rop);
            break;
        }
        case 0x0b41: { // stretch blit of a DIB: rop, srcH, srcW, ySrc, xSrc, dstH, dstW, yDst,
                       // xDst, DIB
            const std::uint32_t rop = p.U32LE();
            const double sh = S(p), sw = S(p), sy = S(p), sx = S(p);
            const double dh = S(p), dw = S(p), dy = S(p), dx = S(p);
            DibRecord(p, sx, sy, sw, sh, dx, dy, dw, dh, rop);
            break;
        }
        case 0x0940: { // blit of a DIB: rop, ySrc, xSrc, height, width, yDst, xDst, DIB
            const std::uint32_t rop = p.U32LE();
            const double sy = S(p), sx = S(p), h = S(p), w = S(p), dy = S(p), dx = S(p);
            DibRecord(p, sx, sy, w, h, dx, dy, w, h, rop);
            break;
        }
        default:
            break; // records that do not draw (or that we do not draw)
        }
    }
    void DibRecord(ByteReader& p, double sx, double sy, double sw, double sh, double dx, double dy,
                   double dw, double dh, std::uint32_t rop) {
        if (!p.Ok()) {
            return;
        }
        auto dib = p.Data().subspan(p.Position());
        const std::size_t headerSize =
            dib.size() >= 4 ? dib[0] | (dib[1] << 8) | (dib[2] << 16) | (std::size_t{dib[3]} << 24)
                            : 0;
        const std::size_t infoSize = headerSize + DibColorBytes(dib);
        if (dib.size() < 4 || headerSize < 12 || infoSize > dib.size()) {
            return; // no bitmap: a pattern blit in disguise
        }
        Bitmap(dib.first(infoSize), dib.subspan(infoSize), sx, sy, sw, sh, dx, dy, dw, dh, rop);
    }
};

class EmfPlayer : public Player {
public:
    using Player::Player;

    void SetDeviceMapping(Point origin, Point scale) {
        m_deviceOrigin = origin;
        m_deviceScale = scale;
    }

    bool Play(std::span<const std::uint8_t> data, std::uint32_t handles, std::string& error) {
        m_objects.assign(std::min<std::uint32_t>(handles, 65536), GdiObject{});
        std::size_t pos = 0;
        while (pos + 8 <= data.size()) {
            ByteReader head(data.subspan(pos, 8));
            const std::uint32_t type = head.U32LE();
            const std::uint32_t size = head.U32LE();
            if (size < 8 || size % 4 != 0 || size > data.size() - pos) {
                error = "EMF: record outside the file";
                return false;
            }
            if (type == 14) { // end of file
                return true;
            }
            const auto record = data.subspan(pos, size);
            ByteReader p(record.subspan(8));
            Record(type, p, record);
            if (m_canvas.OverBudget()) {
                error = "EMF: picture too complex";
                return false;
            }
            pos += size;
        }
        return true;
    }

private:
    static double I(ByteReader& p) { return p.I32LE(); }

    GdiObject* Slot(std::uint32_t index) {
        return index < m_objects.size() ? &m_objects[index] : nullptr;
    }
    std::vector<Point> Points(ByteReader& p, std::size_t count, bool shortPoints) {
        std::vector<Point> pts;
        if (count > p.Remaining() / (shortPoints ? 4 : 8)) {
            return pts;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const double x = shortPoints ? static_cast<std::int16_t>(p.U16LE()) : I(p);
            const double y = shortPoints ? static_cast<std::int16_t>(p.U16LE()) : I(p);
            pts.push_back({x, y});
        }
        return pts;
    }
    void SelectStock(std::uint32_t index) {
        const std::uint8_t greys[] = {255, 192, 128, 64, 0};
        if (index <= 4) {
            m_state.brush = {0, {greys[index], greys[index], greys[index]}, 0};
        } else if (index == 5) {
            m_state.brush.style = 1;
        } else if (index == 6 || index == 7) {
            const std::uint8_t v = index == 6 ? 255 : 0;
            m_state.pen = {0, 0, {v, v, v}};
        } else if (index == 8) {
            m_state.pen.style = 5;
        } else if (index >= 10 && index <= 17) {
            m_state.font = Font{};
        }
    }
    // A bitmap whose info and bits are given by offsets into the record.
    std::pair<std::span<const std::uint8_t>, std::span<const std::uint8_t>>
    DibOf(std::span<const std::uint8_t> record, std::uint32_t offInfo, std::uint32_t cbInfo,
          std::uint32_t offBits, std::uint32_t cbBits) {
        if (cbInfo == 0 || offInfo > record.size() || cbInfo > record.size() - offInfo ||
            offBits > record.size() || cbBits > record.size() - offBits) {
            return {};
        }
        return {record.subspan(offInfo, cbInfo), record.subspan(offBits, cbBits)};
    }

    void Record(std::uint32_t type, ByteReader& p, std::span<const std::uint8_t> record) {
        switch (type) {
        case 2:  // Bézier curves, drawn through their points
        case 3:  // polygon
        case 4:  // polyline
        case 85: // the same with 16-bit points
        case 86:
        case 87: {
            p.Skip(16);
            const std::uint32_t count = p.U32LE();
            const bool shortPoints = type >= 85;
            Polygon(Points(p, count, shortPoints), type == 3 || type == 86);
            break;
        }
        case 8:    // several polygons
        case 91: { // the same with 16-bit points
            p.Skip(16);
            const std::uint32_t polys = p.U32LE();
            const std::uint32_t total = p.U32LE();
            if (polys > p.Remaining() / 4 || total > p.Remaining()) {
                break;
            }
            std::vector<std::uint32_t> counts(polys);
            for (auto& c : counts) {
                c = p.U32LE();
            }
            std::vector<std::vector<Point>> shapes;
            for (std::uint32_t c : counts) {
                std::vector<Point> pts;
                for (const Point& q : Points(p, c, type == 91)) {
                    pts.push_back(Map(q.x, q.y));
                }
                shapes.push_back(std::move(pts));
            }
            if (p.Ok()) {
                Shape(shapes, true, true);
            }
            break;
        }
        case 9: { // window extent
            const double x = I(p);
            m_state.windowExt = {x, I(p)};
            break;
        }
        case 10: { // window origin
            const double x = I(p);
            m_state.windowOrg = {x, I(p)};
            break;
        }
        case 11: { // viewport extent
            const double x = I(p);
            m_state.viewportExt = {x, I(p)};
            break;
        }
        case 12: { // viewport origin
            const double x = I(p);
            m_state.viewportOrg = {x, I(p)};
            break;
        }
        case 17: // mapping mode
            m_state.mapMode = p.U32LE();
            break;
        case 18: // background mode
            m_state.bkMode = p.U32LE();
            break;
        case 19: // polygon fill mode
            m_state.polyFill = p.U32LE();
            break;
        case 22: // text alignment
            m_state.textAlign = p.U32LE();
            break;
        case 24: // text colour
            m_state.textColor = FromColorRef(p.U32LE());
            break;
        case 25: // background colour
            m_state.bkColor = FromColorRef(p.U32LE());
            break;
        case 27: { // move to
            const double x = I(p);
            m_state.current = {x, I(p)};
            break;
        }
        case 54: { // line to
            const double x = I(p);
            LineTo(x, I(p));
            break;
        }
        case 33: // save the state
            Save();
            break;
        case 34: // restore a state
            Restore(p.I32LE());
            break;
        case 37: { // select
            const std::uint32_t index = p.U32LE();
            if (index & 0x80000000u) {
                SelectStock(index & 0x7fffffffu);
            } else if (GdiObject* o = Slot(index)) {
                Select(*o);
            }
            break;
        }
        case 38: { // create pen: index, style, width (x, y), colour
            const std::uint32_t index = p.U32LE();
            GdiObject o;
            o.kind = GdiObject::kPen;
            o.pen.style = p.U32LE() & 0x0f;
            o.pen.width = I(p);
            p.U32LE();
            o.pen.color = FromColorRef(p.U32LE());
            if (GdiObject* slot = Slot(index); slot && p.Ok()) {
                *slot = o;
            }
            break;
        }
        case 95: { // extended pen: index, bitmap offsets, style, width, brush style, colour
            const std::uint32_t index = p.U32LE();
            p.Skip(16);
            GdiObject o;
            o.kind = GdiObject::kPen;
            o.pen.style = p.U32LE() & 0x0f;
            o.pen.width = p.U32LE();
            const std::uint32_t brushStyle = p.U32LE();
            o.pen.color = FromColorRef(p.U32LE());
            if (brushStyle == 1) {
                o.pen.style = 5;
            }
            if (GdiObject* slot = Slot(index); slot && p.Ok()) {
                *slot = o;
            }
            break;
        }
        case 39: { // create brush: index, style, colour, hatch
            const std::uint32_t index = p.U32LE();
            GdiObject o;
            o.kind = GdiObject::kBrush;
            o.brush.style = p.U32LE();
            o.brush.color = FromColorRef(p.U32LE());
            o.brush.hatch = p.U32LE();
            if (o.brush.style > 2) {
                o.brush.style = 0;
            }
            if (GdiObject* slot = Slot(index); slot && p.Ok()) {
                *slot = o;
            }
            break;
        }
        case 82: { // create font: index, then the logical font (wide face name)
            const std::uint32_t index = p.U32LE();
            GdiObject o;
            o.kind = GdiObject::kFont;
            o.font.height = p.I32LE();
            p.Skip(12);
            o.font.bold = p.I32LE() >= 600;
            p.Skip(8);
            for (int i = 0; i < 32 && p.Remaining() >= 2; ++i) {
                const std::uint16_t c = p.U16LE();
                if (c == 0) {
                    break;
                }
                o.font.face.push_back(c < 0x80 ? static_cast<char>(c) : '?');
            }
            if (GdiObject* slot = Slot(index)) {
                *slot = o;
            }
            break;
        }
        case 40: { // delete
            if (GdiObject* o = Slot(p.U32LE())) {
                *o = GdiObject{};
            }
            break;
        }
        case 42:   // ellipse
        case 43:   // rectangle
        case 44: { // rounded rectangle (and the corner size)
            const double l = I(p), t = I(p), r = I(p), b = I(p);
            if (type == 42) {
                Ellipse(l, t, r, b);
            } else if (type == 43) {
                Rectangle(l, t, r, b);
            } else {
                const double w = I(p);
                RoundRect(l, t, r, b, w, I(p));
            }
            break;
        }
        case 83:             // text out, 8-bit characters
        case 84: {           // text out, wide characters
            p.Skip(16 + 12); // bounds, graphics mode, scales
            const double x = I(p);
            const double y = I(p);
            const std::uint32_t chars = p.U32LE();
            const std::uint32_t offString = p.U32LE();
            const std::uint32_t options = p.U32LE();
            const std::size_t unit = type == 84 ? 2 : 1;
            if (!p.Ok() || offString > record.size() ||
                chars > (record.size() - offString) / unit) {
                break;
            }
            std::u32string text;
            for (std::uint32_t i = 0; i < chars; ++i) {
                const std::size_t at = offString + i * unit;
                char32_t c = unit == 2 ? static_cast<char32_t>(record[at] | (record[at + 1] << 8))
                                       : record[at];
                if (unit == 2 && c >= 0xd800 && c < 0xdc00 && i + 1 < chars) {
                    const std::size_t next = at + 2;
                    const char32_t low = record[next] | (record[next + 1] << 8);
                    if (low >= 0xdc00 && low < 0xe000) {
                        c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
                        ++i;
                    }
                }
                text.push_back(c);
            }
            Text(text, x, y, (options & 0x0002) != 0);
            break;
        }
        case 76:   // bit blit
        case 77: { // stretch blit
            p.Skip(16);
            const double dx = I(p), dy = I(p), dw = I(p), dh = I(p);
            const std::uint32_t rop = p.U32LE();
            const double sx = I(p), sy = I(p);
            p.Skip(24 + 8); // source transform, background colour, usage
            const std::uint32_t offInfo = p.U32LE(), cbInfo = p.U32LE();
            const std::uint32_t offBits = p.U32LE(), cbBits = p.U32LE();
            double sw = dw, sh = dh;
            if (type == 77) {
                sw = I(p);
                sh = I(p);
            }
            if (!p.Ok()) {
                break;
            }
            auto [info, bits] = DibOf(record, offInfo, cbInfo, offBits, cbBits);
            if (info.empty()) {
                PatternFill(dx, dy, dw, dh, rop);
            } else {
                Bitmap(info, bits, sx, sy, sw, sh, dx, dy, dw, dh, rop);
            }
            break;
        }
        case 81: { // stretch DIB bits
            p.Skip(16);
            const double dx = I(p), dy = I(p), sx = I(p), sy = I(p), sw = I(p), sh = I(p);
            const std::uint32_t offInfo = p.U32LE(), cbInfo = p.U32LE();
            const std::uint32_t offBits = p.U32LE(), cbBits = p.U32LE();
            p.U32LE(); // usage
            const std::uint32_t rop = p.U32LE();
            const double dw = I(p), dh = I(p);
            if (!p.Ok()) {
                break;
            }
            auto [info, bits] = DibOf(record, offInfo, cbInfo, offBits, cbBits);
            if (!info.empty()) {
                Bitmap(info, bits, sx, sy, sw, sh, dx, dy, dw, dh, rop);
            }
            break;
        }
        default:
            break;
        }
    }
};

bool Fail(CxImage& image, const std::string& text) {
    image.SetLastError(text);
    return false;
}

// The output size for a picture `w` × `h` pixels at 96 dots per inch,
// scaled down to fit kMaxSide.
bool OutputSize(double w, double h, std::uint32_t& width, std::uint32_t& height) {
    if (!(w >= 0.5) || !(h >= 0.5)) {
        return false;
    }
    const double scale = std::min(1.0, kMaxSide / std::max(w, h));
    width = static_cast<std::uint32_t>(std::max(1.0, std::round(w * scale)));
    height = static_cast<std::uint32_t>(std::max(1.0, std::round(h * scale)));
    return true;
}

bool ToImage(const Canvas& canvas, int type, CxImage& image) {
    CxImage out;
    if (!out.Create(canvas.Width(), canvas.Height(), 24, type)) {
        return Fail(image, out.GetLastError());
    }
    for (std::uint32_t row = 0; row < canvas.Height(); ++row) {
        const std::uint8_t* src = canvas.Row(row);
        std::uint8_t* dst = out.GetBits(canvas.Height() - 1 - row);
        for (std::uint32_t x = 0; x < canvas.Width(); ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
    }
    image = std::move(out);
    return true;
}

// A metafile without the placeable header sizes itself by its first window
// origin and extent; its logical units are taken as pixels.
bool WindowOfRecords(std::span<const std::uint8_t> data, std::size_t pos, std::int16_t box[4]) {
    std::int16_t org[2] = {0, 0};
    while (pos + 6 <= data.size()) {
        ByteReader r(data.subspan(pos));
        const std::uint32_t words = r.U32LE();
        const std::uint16_t function = r.U16LE();
        if (words < 3 || words > (data.size() - pos) / 2 || function == 0) {
            return false;
        }
        if ((function == 0x020b || function == 0x020c) && words >= 5) {
            const auto y = static_cast<std::int16_t>(r.U16LE());
            const auto x = static_cast<std::int16_t>(r.U16LE());
            if (function == 0x020b) {
                org[0] = x;
                org[1] = y;
            } else {
                box[0] = org[0];
                box[1] = org[1];
                box[2] = static_cast<std::int16_t>(org[0] + x);
                box[3] = static_cast<std::int16_t>(org[1] + y);
                return true;
            }
        }
        pos += std::size_t{words} * 2;
    }
    return false;
}

bool DecodeWmf(std::span<const std::uint8_t> data, bool placeable, CxImage& image) {
    ByteReader r(data);
    std::int16_t box[4] = {0, 0, 0, 0}; // left, top, right, bottom
    std::uint16_t inch = 96;
    if (placeable) {
        r.U32LE(); // the placeable key
        r.U16LE(); // handle
        for (std::int16_t& v : box) {
            v = static_cast<std::int16_t>(r.U16LE());
        }
        inch = r.U16LE();
        r.U32LE(); // reserved
        r.U16LE(); // checksum
    }
    const std::size_t headerStart = r.Position();
    const std::uint16_t fileType = r.U16LE();
    const std::uint16_t headerWords = r.U16LE();
    r.U16LE(); // version
    const std::uint32_t words = r.U32LE();
    const std::uint16_t objects = r.U16LE();
    r.U32LE(); // largest record
    r.U16LE(); // unused
    if (!r.Ok()) {
        return Fail(image, "WMF: file is truncated");
    }
    if ((fileType != 1 && fileType != 2) || headerWords != 9) {
        return Fail(image, "WMF: invalid header");
    }
    // The size covers the metafile header and every record.
    if (words < 9 || (data.size() - headerStart) / 2 < words) {
        return Fail(image, "WMF: file is truncated");
    }
    if (!placeable && !WindowOfRecords(data, r.Position(), box)) {
        return Fail(image, "WMF: the metafile gives no picture size");
    }
    const auto [left, top, right, bottom] =
        std::array<std::int16_t, 4>{box[0], box[1], box[2], box[3]};
    if (inch == 0 || right == left || bottom == top) {
        return Fail(image, "WMF: invalid bounding box");
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const double w = std::abs(static_cast<double>(right) - left) * 96.0 / inch;
    const double h = std::abs(static_cast<double>(bottom) - top) * 96.0 / inch;
    if (!OutputSize(w, h, width, height)) {
        return Fail(image, "WMF: invalid bounding box");
    }
    Canvas canvas(width, height);
    WmfPlayer player(canvas);
    std::string error;
    if (!player.Play(r, left, top, right, bottom, objects, error)) {
        return Fail(image, error);
    }
    return ToImage(canvas, imaging::kFormatWmf, image);
}

bool DecodeEmf(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    r.U32LE(); // record type 1
    const std::uint32_t headerSize = r.U32LE();
    const std::int32_t boundsLeft = r.I32LE();
    const std::int32_t boundsTop = r.I32LE();
    const std::int32_t boundsRight = r.I32LE();
    const std::int32_t boundsBottom = r.I32LE();
    const std::int32_t frameLeft = r.I32LE();
    const std::int32_t frameTop = r.I32LE();
    const std::int32_t frameRight = r.I32LE();
    const std::int32_t frameBottom = r.I32LE();
    const std::uint32_t signature = r.U32LE();
    r.U32LE(); // version
    const std::uint32_t bytes = r.U32LE();
    r.U32LE(); // records
    const std::uint16_t handles = r.U16LE();
    r.U16LE();
    r.Skip(12); // description, palette
    const std::int32_t deviceX = r.I32LE();
    const std::int32_t deviceY = r.I32LE();
    const std::int32_t millimetresX = r.I32LE();
    const std::int32_t millimetresY = r.I32LE();
    if (!r.Ok()) {
        return Fail(image, "EMF: file is truncated");
    }
    if (signature != kEmfSignature || headerSize < 88 || headerSize > data.size() ||
        headerSize % 4) {
        return Fail(image, "EMF: invalid header");
    }
    if (bytes > data.size()) {
        return Fail(image, "EMF: file is truncated");
    }
    // Device pixels per 0.01 mm of the reference device; without one, the
    // bounds (in device pixels) cover the frame.
    double perX = 0;
    double perY = 0;
    const double frameW = static_cast<double>(frameRight) - frameLeft;
    const double frameH = static_cast<double>(frameBottom) - frameTop;
    if (deviceX > 0 && deviceY > 0 && millimetresX > 0 && millimetresY > 0) {
        perX = deviceX / (millimetresX * 100.0);
        perY = deviceY / (millimetresY * 100.0);
    } else if (frameW > 0 && frameH > 0) {
        perX = (static_cast<double>(boundsRight) - boundsLeft + 1) / frameW;
        perY = (static_cast<double>(boundsBottom) - boundsTop + 1) / frameH;
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (perX <= 0 || perY <= 0 ||
        !OutputSize(frameW * 96.0 / 2540.0, frameH * 96.0 / 2540.0, width, height)) {
        return Fail(image, "EMF: invalid frame");
    }
    Canvas canvas(width, height);
    EmfPlayer player(canvas);
    player.SetDeviceMapping({frameLeft * perX, frameTop * perY},
                            {width / (frameW * perX), height / (frameH * perY)});
    std::string error;
    const std::size_t end = bytes >= headerSize ? bytes : data.size();
    if (!player.Play(data.subspan(headerSize, end - headerSize), handles, error)) {
        return Fail(image, error);
    }
    return ToImage(canvas, imaging::kFormatWmf, image);
}

} // namespace

bool CxImageWMF::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    const std::uint32_t first = r.U32LE();
    if (!r.Ok()) {
        return Fail(image, "WMF: not a metafile");
    }
    if (first == kPlaceableKey) {
        return DecodeWmf(data, true, image);
    }
    // A plain metafile header: memory or disk type, 9 words, version 1 or 3.
    if ((first == 0x00090001 || first == 0x00090002) && data.size() >= 6 && data[4] == 0 &&
        (data[5] == 1 || data[5] == 3)) {
        return DecodeWmf(data, false, image);
    }
    if (first == 1 && data.size() >= 44) {
        ByteReader s(data.subspan(40, 4));
        if (s.U32LE() == kEmfSignature) {
            return DecodeEmf(data, image);
        }
    }
    return Fail(image, "WMF: not a metafile");
}
