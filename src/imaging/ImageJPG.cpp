#include "imaging/ImageJPG.h"

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>

// libjpeg reports errors through its error manager; ours longjmps back to
// the one function that drives the library. Every C++ object with a
// destructor lives in the caller's frame (the Context struct), so a jump
// never skips a destructor.

namespace {

constexpr long kMaxDecoderMemory = 1L << 30;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool truncated = false;
    char message[JMSG_LENGTH_MAX] = {};
};

void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    // A file that ends early is decoded by libjpeg as grey padding; we treat
    // it as the broken file it is. Other warnings (stray bytes between
    // markers) are common in camera files and harmless.
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        err->truncated = true;
    }
}

struct DecodeContext {
    ErrorManager err;
    jpeg_decompress_struct cinfo{};
    CxImage image;
    std::vector<std::uint8_t> row;
    std::string error;
};

void StoreCmykRow(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width, bool inverted) {
    for (std::uint32_t x = 0; x < width; ++x) {
        int c = src[4 * x], m = src[4 * x + 1], y = src[4 * x + 2], k = src[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        // Stored inverted (as Adobe writes them): c holds 255 - cyan, so
        // red = (255 - cyan) × (255 - black) / 255.
        dst[3 * x] = static_cast<std::uint8_t>((y * k + 127) / 255);
        dst[3 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        dst[3 * x + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

// The body of a decode; errors inside leave it by longjmp to RunDecode.
[[gnu::noinline]] bool DecodeBody(DecodeContext& ctx, std::span<const std::uint8_t> data,
                                  unsigned scaleNum, std::uint32_t minWidth,
                                  std::uint32_t minHeight) {
    jpeg_decompress_struct& cinfo = ctx.cinfo;
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    // Progressive files keep every coefficient of the picture; cap what
    // the library may take so that a hostile header fails cleanly.
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_read_header(&cinfo, TRUE);
    if (!CxImage::CheckDimensions(cinfo.image_width, cinfo.image_height, 24)) {
        ctx.error = "JPEG: dimensions too large";
        return false;
    }
    if (scaleNum == 0) {
        scaleNum = CxImageJPG::ScaleFor(cinfo.image_width, cinfo.image_height, minWidth, minHeight);
    }
    cinfo.scale_num = scaleNum;
    cinfo.scale_denom = 8;
    const bool gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = gray ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_EXT_BGR);
    jpeg_start_decompress(&cinfo);
    const std::uint32_t width = cinfo.output_width;
    const std::uint32_t height = cinfo.output_height;
    if (!ctx.image.Create(width, height, gray ? 8 : 24, imaging::kFormatJpg)) {
        ctx.error = "JPEG: " + ctx.image.GetLastError();
        return false;
    }
    if (cmyk) {
        ctx.row.resize(std::size_t{width} * 4);
    }
    while (cinfo.output_scanline < height) {
        std::uint8_t* dst = ctx.image.GetBits(height - 1 - cinfo.output_scanline);
        JSAMPROW row = cmyk ? ctx.row.data() : dst;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            ctx.error = "JPEG: file is truncated";
            return false;
        }
        if (cmyk) {
            StoreCmykRow(ctx.row.data(), dst, width, cinfo.saw_Adobe_marker);
        }
    }
    jpeg_finish_decompress(&cinfo);
    if (ctx.err.truncated) {
        ctx.error = "JPEG: file is truncated";
        return false;
    }
    if (cinfo.density_unit == 1 && cinfo.X_density > 0 && cinfo.Y_density > 0) {
        ctx.image.SetXDPI(cinfo.X_density);
        ctx.image.SetYDPI(cinfo.Y_density);
    } else if (cinfo.density_unit == 2 && cinfo.X_density > 0 && cinfo.Y_density > 0) {
        ctx.image.SetXDPI(static_cast<std::int32_t>(std::lround(cinfo.X_density * 2.54)));
        ctx.image.SetYDPI(static_cast<std::int32_t>(std::lround(cinfo.Y_density * 2.54)));
    }
    return true;
}

bool RunDecode(DecodeContext& ctx, std::span<const std::uint8_t> data, unsigned scaleNum,
               std::uint32_t minWidth, std::uint32_t minHeight) {
    if (setjmp(ctx.err.jump)) {
        ctx.error = std::string("JPEG: ") + ctx.err.message;
        return false;
    }
    return DecodeBody(ctx, data, scaleNum, minWidth, minHeight);
}

bool DecodeAt(std::span<const std::uint8_t> data, CxImage& image, unsigned scaleNum,
              std::uint32_t minWidth, std::uint32_t minHeight) {
    if (data.size() < 3 || data[0] != 0xff || data[1] != 0xd8 || data[2] != 0xff) {
        image.SetLastError("JPEG: not a JPEG file");
        return false;
    }
    DecodeContext ctx;
    ctx.cinfo.err = jpeg_std_error(&ctx.err.base);
    ctx.err.base.error_exit = OnError;
    ctx.err.base.emit_message = OnMessage;
    if (setjmp(ctx.err.jump)) {
        image.SetLastError("JPEG: out of memory");
        return false;
    }
    jpeg_create_decompress(&ctx.cinfo);
    const bool ok = RunDecode(ctx, data, scaleNum, minWidth, minHeight);
    jpeg_destroy_decompress(&ctx.cinfo);
    if (!ok) {
        image.SetLastError(ctx.error);
        return false;
    }
    image = std::move(ctx.image);
    return true;
}

struct EncodeContext {
    ErrorManager err;
    jpeg_compress_struct cinfo{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<std::uint8_t> row;
    std::string error;
};

[[gnu::noinline]] bool EncodeBody(EncodeContext& ctx, const CxImage& image) {
    jpeg_compress_struct& cinfo = ctx.cinfo;
    jpeg_mem_dest(&cinfo, &ctx.buffer, &ctx.size);
    const bool gray = image.GetBpp() == 8 && image.IsGrayScale();
    const std::uint32_t width = image.Width();
    const std::uint32_t height = image.Height();
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(static_cast<int>(image.GetJpegQuality()), 1, 100), TRUE);
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(std::clamp(image.GetXDPI(), 1, 65535));
    cinfo.Y_density = static_cast<UINT16>(std::clamp(image.GetYDPI(), 1, 65535));
    jpeg_start_compress(&cinfo, TRUE);
    const bool direct = gray || image.GetBpp() == 24;
    ctx.row.resize(std::size_t{width} * 3);
    while (cinfo.next_scanline < height) {
        const std::uint32_t y = height - 1 - cinfo.next_scanline;
        JSAMPROW row = const_cast<JSAMPROW>(image.GetBits(y));
        if (!direct) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const RgbQuad c = image.GetPixelColor(x, y);
                ctx.row[3 * x] = c.blue;
                ctx.row[3 * x + 1] = c.green;
                ctx.row[3 * x + 2] = c.red;
            }
            row = ctx.row.data();
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

bool RunEncode(EncodeContext& ctx, const CxImage& image) {
    if (setjmp(ctx.err.jump)) {
        ctx.error = std::string("JPEG: ") + ctx.err.message;
        return false;
    }
    return EncodeBody(ctx, image);
}

} // namespace

unsigned CxImageJPG::ScaleFor(std::uint32_t width, std::uint32_t height, std::uint32_t minWidth,
                              std::uint32_t minHeight) {
    for (unsigned m = 1; m < 8; ++m) {
        // libjpeg rounds scaled sizes up.
        const std::uint64_t w = (std::uint64_t{width} * m + 7) / 8;
        const std::uint64_t h = (std::uint64_t{height} * m + 7) / 8;
        if (w >= minWidth && h >= minHeight) {
            return m;
        }
    }
    return 8;
}

bool CxImageJPG::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    return DecodeAt(data, image, 8, 0, 0);
}

bool CxImageJPG::DecodeScaled(std::span<const std::uint8_t> data, CxImage& image,
                              std::uint32_t minWidth, std::uint32_t minHeight) {
    return DecodeAt(data, image, 0, minWidth, minHeight);
}

bool CxImageJPG::Encode(const CxImage& image, std::vector<std::uint8_t>& out, std::string& error) {
    if (!image.IsValid()) {
        error = "JPEG: no picture to write";
        return false;
    }
    EncodeContext ctx;
    ctx.cinfo.err = jpeg_std_error(&ctx.err.base);
    ctx.err.base.error_exit = OnError;
    ctx.err.base.emit_message = OnMessage;
    if (setjmp(ctx.err.jump)) {
        error = "JPEG: out of memory";
        return false;
    }
    jpeg_create_compress(&ctx.cinfo);
    const bool ok = RunEncode(ctx, image);
    jpeg_destroy_compress(&ctx.cinfo);
    if (ok) {
        out.assign(ctx.buffer, ctx.buffer + ctx.size);
    } else {
        error = ctx.error;
    }
    std::free(ctx.buffer);
    return ok;
}
