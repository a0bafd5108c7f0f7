#include "imaging/ImageTIF.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The file in memory that libtiff reads from or writes to.
struct MemoryFile {
    std::span<const std::uint8_t> input;
    std::vector<std::uint8_t>* output = nullptr;
    std::uint64_t pos = 0;
    std::string error;

    std::uint64_t Size() const { return output ? output->size() : input.size(); }
};

MemoryFile& FileOf(thandle_t handle) {
    return *static_cast<MemoryFile*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& f = FileOf(handle);
    const std::uint8_t* data = f.output ? f.output->data() : f.input.data();
    if (size <= 0 || f.pos >= f.Size()) {
        return 0;
    }
    const auto n = static_cast<tmsize_t>(std::min<std::uint64_t>(f.Size() - f.pos, size));
    std::memcpy(buffer, data + f.pos, static_cast<std::size_t>(n));
    f.pos += static_cast<std::uint64_t>(n);
    return n;
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& f = FileOf(handle);
    if (!f.output || size < 0) {
        return -1;
    }
    const auto end = f.pos + static_cast<std::uint64_t>(size);
    if (end > f.output->size()) {
        f.output->resize(end);
    }
    std::memcpy(f.output->data() + f.pos, buffer, static_cast<std::size_t>(size));
    f.pos = end;
    return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& f = FileOf(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = f.pos;
    } else if (whence == SEEK_END) {
        base = f.Size();
    }
    const std::uint64_t target = base + offset;
    if (target < base || target > (std::uint64_t{1} << 40)) {
        return static_cast<toff_t>(-1);
    }
    f.pos = target;
    return target;
}

int CloseProc(thandle_t) {
    return 0;
}
toff_t SizeProc(thandle_t handle) {
    return FileOf(handle).Size();
}
int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* f = static_cast<MemoryFile*>(user);
    if (f->error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        f->error = std::string("TIFF: ") + text;
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr Open(MemoryFile& file, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &file);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t{512} << 20);
    TiffPtr tif(TIFFClientOpenExt("memory", mode, &file, ReadProc, WriteProc, SeekProc, CloseProc,
                                  SizeProc, MapProc, UnmapProc, options));
    TIFFOpenOptionsFree(options);
    return tif;
}

struct Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t samples = 1;
    std::uint16_t bits = 1;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
};

bool ReadLayout(TIFF* tif, Layout& l) {
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height)) {
        return false;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric)) {
        l.photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    return true;
}

// Palette and grey pictures of up to 8 bits in strips keep their indices.
bool IsIndexed(TIFF* tif, const Layout& l) {
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    const bool kind = l.photometric == PHOTOMETRIC_PALETTE ||
                      l.photometric == PHOTOMETRIC_MINISBLACK ||
                      l.photometric == PHOTOMETRIC_MINISWHITE;
    const bool bits = l.bits == 1 || l.bits == 2 || l.bits == 4 || l.bits == 8;
    return kind && bits && l.samples == 1 && !TIFFIsTiled(tif) &&
           orientation == ORIENTATION_TOPLEFT;
}

bool ReadIndexed(TIFF* tif, const Layout& l, CxImage& image, MemoryFile& file) {
    if (!image.Create(l.width, l.height, l.bits, imaging::kFormatTif)) {
        file.error = "TIFF: " + image.GetLastError();
        return false;
    }
    const std::uint32_t levels = 1u << l.bits;
    std::vector<RgbQuad> palette(levels);
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
            file.error = "TIFF: palette missing";
            return false;
        }
        for (std::uint32_t i = 0; i < levels; ++i) {
            palette[i] = MakeRgb(static_cast<std::uint8_t>(red[i] >> 8),
                                 static_cast<std::uint8_t>(green[i] >> 8),
                                 static_cast<std::uint8_t>(blue[i] >> 8));
        }
    } else {
        for (std::uint32_t i = 0; i < levels; ++i) {
            auto v = static_cast<std::uint8_t>(i * 255 / (levels - 1));
            if (l.photometric == PHOTOMETRIC_MINISWHITE) {
                v = static_cast<std::uint8_t>(255 - v);
            }
            palette[i] = MakeRgb(v, v, v);
        }
    }
    image.SetPalette(palette);
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize < static_cast<tmsize_t>((std::uint64_t{l.width} * l.bits + 7) / 8)) {
        file.error = "TIFF: bad scanline size";
        return false;
    }
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineSize));
    const std::uint32_t mask = levels - 1;
    for (std::uint32_t y = 0; y < l.height; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) {
            return false;
        }
        const std::uint32_t dst = l.height - 1 - y;
        for (std::uint32_t x = 0; x < l.width; ++x) {
            const std::uint64_t bit = std::uint64_t{x} * l.bits;
            const std::uint32_t shift = 8 - l.bits - static_cast<std::uint32_t>(bit & 7);
            image.SetPixelIndex(x, dst,
                                static_cast<std::uint8_t>((line[bit >> 3] >> shift) & mask));
        }
    }
    return true;
}

// Everything else goes through libtiff's RGBA conversion, a band of rows
// at a time so that no second full-size buffer is needed.
bool ReadRgba(TIFF* tif, const Layout& l, CxImage& image, MemoryFile& file) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) {
        file.error = std::string("TIFF: ") + message;
        return false;
    }
    TIFFRGBAImage img;
    if (!TIFFRGBAImageBegin(&img, tif, 0, message)) {
        file.error = std::string("TIFF: ") + message;
        return false;
    }
    struct End {
        TIFFRGBAImage* img;
        ~End() { TIFFRGBAImageEnd(img); }
    } end{&img};
    const bool alpha = img.alpha != 0;
    if (!image.Create(l.width, l.height, 24, imaging::kFormatTif) ||
        (alpha && !image.AlphaCreate())) {
        file.error = "TIFF: " + image.GetLastError();
        return false;
    }
    img.req_orientation = ORIENTATION_TOPLEFT;
    // Bands must start on strip or tile boundaries for libtiff's readers.
    std::uint32_t band = 0;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
    }
    band = std::clamp<std::uint32_t>(band, 1, l.height);
    std::vector<std::uint32_t> raster(std::size_t{l.width} * band);
    for (std::uint32_t top = 0; top < l.height; top += band) {
        const std::uint32_t rows = std::min(band, l.height - top);
        img.row_offset = static_cast<int>(top);
        img.col_offset = 0;
        if (!TIFFRGBAImageGet(&img, raster.data(), l.width, rows)) {
            if (file.error.empty()) {
                file.error = "TIFF: cannot read the pixels";
            }
            return false;
        }
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t y = l.height - 1 - (top + r);
            std::uint8_t* out = image.GetBits(y);
            std::uint8_t* a = alpha ? image.AlphaGetPointer(0, y) : nullptr;
            const std::uint32_t* in = raster.data() + std::size_t{r} * l.width;
            for (std::uint32_t x = 0; x < l.width; ++x) {
                const std::uint32_t px = in[x];
                std::uint32_t red = TIFFGetR(px), green = TIFFGetG(px), blue = TIFFGetB(px);
                if (a) {
                    // libtiff hands out premultiplied colour.
                    const std::uint32_t av = TIFFGetA(px);
                    a[x] = static_cast<std::uint8_t>(av);
                    if (av > 0 && av < 255) {
                        red = std::min(255u, (red * 255 + av / 2) / av);
                        green = std::min(255u, (green * 255 + av / 2) / av);
                        blue = std::min(255u, (blue * 255 + av / 2) / av);
                    }
                }
                out[3 * x] = static_cast<std::uint8_t>(blue);
                out[3 * x + 1] = static_cast<std::uint8_t>(green);
                out[3 * x + 2] = static_cast<std::uint8_t>(red);
            }
        }
    }
    return true;
}

// 8-bit grey or RGB samples in separate planes (libtiff's RGBA reader
// mishandles grey planes with alpha), read plane by plane so that
// compressed strips are read in order.
bool IsSeparate8(TIFF* tif, const Layout& l) {
    const bool grey = l.photometric == PHOTOMETRIC_MINISBLACK && l.samples >= 1;
    const bool rgb = l.photometric == PHOTOMETRIC_RGB && l.samples >= 3;
    return l.planar == PLANARCONFIG_SEPARATE && l.bits == 8 && (grey || rgb) && !TIFFIsTiled(tif);
}

bool ReadSeparate8(TIFF* tif, const Layout& l, CxImage& image, MemoryFile& file) {
    const std::uint16_t colours = l.photometric == PHOTOMETRIC_RGB ? 3 : 1;
    std::uint16_t extraCount = 0;
    std::uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    const bool alpha = l.samples > colours && extraCount > 0 &&
                       (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
    const bool associated = alpha && extra[0] == EXTRASAMPLE_ASSOCALPHA;
    if (!image.Create(l.width, l.height, 24, imaging::kFormatTif) ||
        (alpha && !image.AlphaCreate())) {
        file.error = "TIFF: " + image.GetLastError();
        return false;
    }
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize < static_cast<tmsize_t>(l.width)) {
        file.error = "TIFF: bad scanline size";
        return false;
    }
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineSize));
    const int planes = colours + (alpha ? 1 : 0);
    for (int s = 0; s < planes; ++s) {
        for (std::uint32_t y = 0; y < l.height; ++y) {
            if (TIFFReadScanline(tif, line.data(), y, static_cast<std::uint16_t>(s)) < 0) {
                return false;
            }
            const std::uint32_t dst = l.height - 1 - y;
            std::uint8_t* out = image.GetBits(dst);
            for (std::uint32_t x = 0; x < l.width; ++x) {
                if (s == colours) {
                    image.AlphaSet(x, dst, line[x]);
                } else if (colours == 1) {
                    out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = line[x];
                } else {
                    out[3 * x + 2 - s] = line[x];
                }
            }
        }
    }
    if (associated) {
        for (std::uint32_t y = 0; y < l.height; ++y) {
            std::uint8_t* out = image.GetBits(y);
            for (std::uint32_t x = 0; x < l.width; ++x) {
                const std::uint32_t a = image.AlphaGet(x, y);
                for (int c = 0; c < 3 && a > 0 && a < 255; ++c) {
                    out[3 * x + c] = static_cast<std::uint8_t>(
                        std::min(255u, (out[3 * x + c] * 255u + a / 2) / a));
                }
            }
        }
    }
    return true;
}

void ReadResolution(TIFF* tif, CxImage& image) {
    float x = 0, y = 0;
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    const float scale = unit == RESUNIT_CENTIMETER ? 2.54f : 1.0f;
    if (unit != RESUNIT_NONE && TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) &&
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) && x >= 1 && y >= 1 && x < 1e6f && y < 1e6f) {
        image.SetXDPI(static_cast<std::int32_t>(x * scale + 0.5f));
        image.SetYDPI(static_cast<std::int32_t>(y * scale + 0.5f));
    }
}

void WriteTags(TIFF* tif, const CxImage& image, bool gray, bool alpha) {
    const std::uint32_t bpp = image.GetBpp();
    const bool palette = bpp <= 8 && !alpha;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.Width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.Height());
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(image.GetXDPI()));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(image.GetYDPI()));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (palette) {
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bpp);
        if (gray) {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            return;
        }
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        std::vector<std::uint16_t> map(3 * (std::size_t{1} << bpp));
        const std::size_t n = std::size_t{1} << bpp;
        for (std::size_t i = 0; i < n; ++i) {
            const RgbQuad c = image.GetPaletteColor(static_cast<std::uint32_t>(i));
            map[i] = static_cast<std::uint16_t>(c.red * 257);
            map[n + i] = static_cast<std::uint16_t>(c.green * 257);
            map[2 * n + i] = static_cast<std::uint16_t>(c.blue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
        return;
    }
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, alpha ? 4 : 3);
    if (alpha) {
        const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
}

} // namespace

bool CxImageTIF::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    const bool little = data.size() >= 4 && data[0] == 'I' && data[1] == 'I';
    const bool big = data.size() >= 4 && data[0] == 'M' && data[1] == 'M';
    if (!little && !big) {
        image.SetLastError("TIFF: not a TIFF file");
        return false;
    }
    MemoryFile file;
    file.input = data;
    TiffPtr tif = Open(file, "rm");
    if (!tif) {
        image.SetLastError(file.error.empty() ? "TIFF: cannot open" : file.error);
        return false;
    }
    Layout layout;
    if (!ReadLayout(tif.get(), layout) ||
        !CxImage::CheckDimensions(layout.width, layout.height, 24)) {
        image.SetLastError("TIFF: dimensions missing or too large");
        return false;
    }
    CxImage out;
    bool ok = false;
    if (IsIndexed(tif.get(), layout)) {
        ok = ReadIndexed(tif.get(), layout, out, file);
    } else if (IsSeparate8(tif.get(), layout)) {
        ok = ReadSeparate8(tif.get(), layout, out, file);
    } else {
        ok = ReadRgba(tif.get(), layout, out, file);
    }
    if (!ok) {
        image.SetLastError(file.error.empty() ? "TIFF: cannot decode" : file.error);
        return false;
    }
    ReadResolution(tif.get(), out);
    image = std::move(out);
    return true;
}

bool CxImageTIF::Encode(const CxImage& image, std::vector<std::uint8_t>& out, std::string& error) {
    if (!image.IsValid()) {
        error = "TIFF: no picture to write";
        return false;
    }
    out.clear();
    MemoryFile file;
    file.output = &out;
    TiffPtr tif = Open(file, "w");
    if (!tif) {
        error = file.error.empty() ? "TIFF: cannot create" : file.error;
        return false;
    }
    const bool alpha = image.AlphaIsValid();
    const bool gray = image.IsGrayScale();
    WriteTags(tif.get(), image, gray, alpha);
    const bool rgb = image.GetBpp() > 8 || alpha;
    std::vector<std::uint8_t> row(std::size_t{image.Width()} * 4);
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        const std::uint32_t src = image.Height() - 1 - y;
        std::uint8_t* line = const_cast<std::uint8_t*>(image.GetBits(src));
        if (rgb) {
            std::uint8_t* p = row.data();
            for (std::uint32_t x = 0; x < image.Width(); ++x) {
                const RgbQuad c = image.GetPixelColor(x, src);
                *p++ = c.red;
                *p++ = c.green;
                *p++ = c.blue;
                if (alpha) {
                    *p++ = c.reserved;
                }
            }
            line = row.data();
        }
        if (TIFFWriteScanline(tif.get(), line, y, 0) < 0) {
            error = file.error.empty() ? "TIFF: cannot write" : file.error;
            return false;
        }
    }
    if (!TIFFWriteDirectory(tif.get())) {
        error = file.error.empty() ? "TIFF: cannot write" : file.error;
        return false;
    }
    tif.reset();
    return true;
}
