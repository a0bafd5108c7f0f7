#include "files/draw/ThumbnailManager.h"

#include "files/ThumbnailDib.h"

#include <QMimeDatabase>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <mutex>

namespace {

struct IconFile {
    const char* key;
    const char* file;
};

constexpr std::array<IconFile, 11> kIconFiles = {{
    {"default", "default.png"},
    {"drive", "drive.png"},
    {"folder", "folder.png"},
    {".xls", "xls.png"},
    {".doc", "doc.png"},
    {".exe", "exe.png"},
    {".txt", "txt.png"},
    {".log", "txt.png"},
    {".html", "html.png"},
    {"compressed", "zip.png"},
    {"image", "image.png"},
}};

constexpr const char* kCompressed[] = {".zip", ".cab", ".rar", ".arj", ".iso"};
constexpr const char* kImages[] = {".jpg", ".bmp", ".gif", ".png", ".nef", ".jpeg", ".tif"};

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != static_cast<unsigned char>(b[i])) {
            return false;
        }
    }
    return true;
}

template <std::size_t N> bool OneOf(const std::string& ext, const char* const (&list)[N]) {
    return std::any_of(std::begin(list), std::end(list),
                       [&ext](const char* e) { return EqualsIgnoringCase(ext, e); });
}

// From the last dot of the last path component, including it; empty when
// there is none or when a space follows the dot.
std::string Extension(const std::string& path) {
    const std::string name = CFileObject::LastComponent(path);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || name.find(' ', dot) != std::string::npos) {
        return {};
    }
    return name.substr(dot);
}

bool IsHtmlContent(const std::string& path) {
    const QMimeDatabase database; // a view of the one shared database
    const QMimeType type =
        database.mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchExtension);
    return type.isValid() && type.inherits(QStringLiteral("text/html"));
}

// The bitmap rows (bottom-up, padded) as a top-down image.
QImage DibToImage(const ThumbnailDib& dib) {
    const int w = dib.Width();
    const int h = dib.Height();
    const std::size_t stride = dib.Stride();
    const int bits = dib.header.bitCount;
    if (!dib.IsValid() || dib.bits.size() < stride * static_cast<std::size_t>(h)) {
        return {};
    }
    const auto row = [&](int y) {
        return dib.bits.data() + stride * static_cast<std::size_t>(h - 1 - y);
    };
    if (bits == 24 || bits == 32) {
        // Both keep the bitmap's byte order: blue, green, red (and a fourth byte).
        QImage image(w, h, bits == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32);
        for (int y = 0; y < h; ++y) {
            std::memcpy(image.scanLine(y), row(y), static_cast<std::size_t>(w) * (bits / 8));
        }
        return image;
    }
    QImage image(w, h, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (const RgbQuad& c : dib.colorTable) {
        colours.push_back(qRgb(c.red, c.green, c.blue));
    }
    colours.resize(std::max<qsizetype>(colours.size(), qsizetype{1} << std::min(bits, 8)));
    image.setColorTable(colours);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = row(y);
        std::uint8_t* dst = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            if (bits == 8) {
                dst[x] = src[x];
            } else if (bits == 4) {
                dst[x] = (x % 2) ? (src[x / 2] & 0x0F) : (src[x / 2] >> 4);
            } else {
                dst[x] = (src[x / 8] >> (7 - x % 8)) & 1;
            }
        }
    }
    return image;
}

} // namespace

CThumbnailManager::CThumbnailManager(const std::string& resourceDir) {
    std::string dir = resourceDir;
    if (!dir.empty() && dir.back() != '/') {
        dir.push_back('/');
    }
    for (const IconFile& icon : kIconFiles) {
        QImage image(QString::fromStdString(dir + "FileTypes/" + icon.file));
        if (image.isNull()) {
            continue;
        }
        m_index[icon.key] = static_cast<int>(m_icons.size());
        m_icons.push_back(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

CThumbnailManager::~CThumbnailManager() = default;

std::string CThumbnailManager::KeyByName(const CFileObject& object) {
    if (object.IsDrive()) {
        return "drive";
    }
    if (object.isfolder) {
        return "folder";
    }
    if (IsHtmlContent(object.GetFullPath())) {
        return ".html";
    }
    const std::string ext = Extension(object.GetFullPath());
    if (OneOf(ext, kCompressed)) {
        return "compressed";
    }
    if (OneOf(ext, kImages)) {
        return "image";
    }
    return ext;
}

std::string CThumbnailManager::IconKeyFor(const CFileObject& object) const {
    const std::string key = KeyByName(object);
    const auto it = m_index.find(key);
    return it == m_index.end() || it->second < 0 ? "default" : key;
}

const QImage* CThumbnailManager::IconForKey(const std::string& key) const {
    const auto it = m_index.find(key);
    if (it == m_index.end() || it->second < 0) {
        return key == "default" ? nullptr : IconForKey("default");
    }
    return &m_icons[static_cast<std::size_t>(it->second)];
}

const QImage* CThumbnailManager::IconFor(const CFileObject& object) const {
    return IconForKey(IconKeyFor(object));
}

CellRect CThumbnailManager::Placement(int w, int h, CellRect cell, int border) {
    const int availW = cell.right - cell.left - 2 * border;
    const int availH = cell.bottom - cell.top - 2 * border;
    double scale = 1.0;
    if (w > 0 && h > 0) {
        scale = std::min({static_cast<double>(availW) / w, static_cast<double>(availH) / h, 1.0});
        scale = std::max(scale, 0.0);
    }
    const int dw = static_cast<int>(w * scale + 0.5);
    const int dh = static_cast<int>(h * scale + 0.5);
    const int x = (cell.left + cell.right) / 2 - dw / 2 + 1;
    const int y = (cell.top + cell.bottom) / 2 - dh / 2 + 1;
    return {x, y, x + dw, y + dh};
}

void CThumbnailManager::Draw(const CFileObject& object, QPainter& dc, QColor colour, CellRect cell,
                             int border) const {
    // The loader sets isimage and replaces the thumbnail under this lock.
    std::lock_guard lock(object.Lock());
    if (!object.isimage) {
        const QImage* icon = IconFor(object);
        if (!icon) {
            return;
        }
        const CellRect at = Placement(icon->width(), icon->height(), cell, 0);
        dc.save();
        dc.setRenderHint(QPainter::SmoothPixmapTransform, true);
        dc.drawImage(QRect(at.left, at.top, at.right - at.left, at.bottom - at.top), *icon);
        dc.restore();
        return;
    }
    const ThumbnailDib* dib = object.GetThumbnail();
    const int w = dib ? dib->Width() : 0;
    const int h = dib ? dib->Height() : 0;
    const CellRect at = Placement(w, h, cell, border);
    dc.fillRect(QRect(at.left - border, at.top - border, at.right - at.left + 2 * border,
                      at.bottom - at.top + 2 * border),
                colour);
    if (!dib || at.right <= at.left || at.bottom <= at.top) {
        return;
    }
    const QImage image = DibToImage(*dib);
    if (image.isNull()) {
        return;
    }
    // Stretching drops rows and columns rather than blending them.
    dc.save();
    dc.setRenderHint(QPainter::SmoothPixmapTransform, false);
    dc.drawImage(QRect(at.left, at.top, at.right - at.left, at.bottom - at.top), image);
    dc.restore();
}

void CThumbnailManager::DrawStack(const CFileObjectTable& table, QPainter& dc,
                                  CellRect rect) const {
    const int n = std::min(table.GetCount(), kStackMax);
    if (n <= 0) {
        return;
    }
    const int back = 3 * (n - 1);
    const CellRect first{rect.left - back, rect.top - back, rect.right - back, rect.bottom - back};
    for (int i = 0; i < n; ++i) {
        const CFileObjectPtr entry = table.GetAt(i);
        if (!entry) {
            continue;
        }
        const CellRect at{first.left + 3 * i, first.top + 3 * i, first.right + 3 * i,
                          first.bottom + 3 * i};
        Draw(*entry, dc, Qt::white, at, 2);
    }
}
