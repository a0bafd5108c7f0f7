#include "imaging/Image.h"

#include "imaging/ImageBMP.h"
#include "imaging/ImageCodecs.h"
#include "imaging/ImageGIF.h"
#include "imaging/ImageICO.h"
#include "imaging/ImageJAS.h"
#include "imaging/ImageJPG.h"
#include "imaging/ImageMNG.h"
#include "imaging/ImagePCX.h"
#include "imaging/ImagePGX.h"
#include "imaging/ImagePNG.h"
#include "imaging/ImagePNM.h"
#include "imaging/ImageRAS.h"
#include "imaging/ImageRAW.h"
#include "imaging/ImageSKA.h"
#include "imaging/ImageTGA.h"
#include "imaging/ImageTIF.h"
#include "imaging/ImageWBMP.h"
#include "imaging/ImageWMF.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {

// Detection order.
constexpr CodecEntry kCodecs[] = {
    {kFormatBmp, "BMP", CxImageBMP::Decode, CxImageBMP::Encode},
    {kFormatJpg, "JPEG", CxImageJPG::Decode, CxImageJPG::Encode},
    {kFormatRaw, "RAW", CxImageRAW::Decode, nullptr},
    {kFormatIco, "ICO", CxImageICO::Decode, nullptr},
    {kFormatGif, "GIF", CxImageGIF::Decode, nullptr},
    {kFormatPng, "PNG", CxImagePNG::Decode, CxImagePNG::Encode},
    {kFormatTif, "TIFF", CxImageTIF::Decode, CxImageTIF::Encode},
    {kFormatMng, "MNG", CxImageMNG::Decode, nullptr},
    {kFormatTga, "TGA", CxImageTGA::Decode, nullptr},
    {kFormatPcx, "PCX", CxImagePCX::Decode, nullptr},
    {kFormatWbmp, "WBMP", CxImageWBMP::Decode, nullptr},
    {kFormatWmf, "WMF", CxImageWMF::Decode, nullptr},
    {kFormatJp2, "JP2", CxImageJAS::DecodeJp2, nullptr},
    {kFormatJpc, "JPC", CxImageJAS::DecodeJpc, nullptr},
    {kFormatPgx, "PGX", CxImagePGX::Decode, nullptr},
    {kFormatPnm, "PNM", CxImagePNM::Decode, nullptr},
    {kFormatRas, "RAS", CxImageRAS::Decode, nullptr},
    {kFormatSka, "SKA", CxImageSKA::Decode, CxImageSKA::Encode},
};

} // namespace

std::span<const CodecEntry> DetectionOrder() {
    return kCodecs;
}

const CodecEntry* FindCodec(int type) {
    for (const CodecEntry& c : kCodecs) {
        if (c.type == type) {
            return &c;
        }
    }
    return nullptr;
}

} // namespace imaging

namespace {

// Files larger than this are not pictures we can hold anyway.
constexpr long long kMaxFileBytes = 1LL << 30;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& error) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        error = "Decode: cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // Directories, pipes and devices are not picture files (and a pipe
    // would block).
    struct stat info {};
    if (::fstat(::fileno(f.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "Decode: not a file: " + path;
        return false;
    }
    const long long size = info.st_size;
    if (size > kMaxFileBytes) {
        error = "Decode: file too large";
        return false;
    }
    out.resize(static_cast<std::size_t>(size));
    if (size > 0 && std::fread(out.data(), 1, out.size(), f.get()) != out.size()) {
        error = "Decode: cannot read " + path;
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string& error) {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    FilePtr f(std::fopen(temp.c_str(), "wb"));
    if (!f) {
        error = "Encode: cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size() &&
                         std::fflush(f.get()) == 0 && ::fsync(::fileno(f.get())) == 0;
    const int writeErrno = errno;
    f.reset();
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        const int code = written ? errno : writeErrno;
        std::remove(temp.c_str());
        error = "Encode: cannot write " + path + ": " + std::strerror(code);
        return false;
    }
    return true;
}

} // namespace

bool CxImage::DecodeWithType(std::span<const std::uint8_t> data, int type) {
    const imaging::CodecEntry* codec = imaging::FindCodec(type);
    if (!codec) {
        m_lastError = "Decode: format not supported";
        return false;
    }
    CxImage out;
    if (!codec->decode(data, out)) {
        m_lastError = out.GetLastError();
        return false;
    }
    out.SetType(type);
    // Settings chosen by the holder (quality, escape) stay; the rest comes
    // from the file.
    const float quality = m_jpegQuality;
    TakePixels(std::move(out));
    m_xDpi = out.m_xDpi;
    m_yDpi = out.m_yDpi;
    m_alphaMax = out.m_alphaMax;
    m_type = type;
    m_jpegQuality = quality;
    m_lastError.clear();
    return true;
}

bool CxImage::Decode(std::span<const std::uint8_t> data, int type) {
    std::string firstError;
    if (type != imaging::kFormatUnknown) {
        if (DecodeWithType(data, type)) {
            return true;
        }
        firstError = m_lastError;
    }
    for (const imaging::CodecEntry& codec : imaging::DetectionOrder()) {
        if (codec.type != type && DecodeWithType(data, codec.type)) {
            return true;
        }
    }
    m_lastError = firstError.empty() ? "Decode: Unknown or wrong format" : firstError;
    return false;
}

bool CxImage::LoadFile(const std::string& path, int type) {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(path, data, m_lastError)) {
        return false;
    }
    return Decode(data, type);
}

bool CxImage::Encode(std::vector<std::uint8_t>& out, int type) {
    const imaging::CodecEntry* codec = imaging::FindCodec(type);
    if (!codec || !codec->encode) {
        m_lastError = "Encode: format not supported";
        return false;
    }
    if (!IsValid()) {
        m_lastError = "Encode: no picture";
        return false;
    }
    return codec->encode(*this, out, m_lastError);
}

bool CxImage::SaveFile(const std::string& path, int type) {
    std::vector<std::uint8_t> bytes;
    if (!Encode(bytes, type)) {
        return false;
    }
    return WriteWholeFile(path, bytes, m_lastError);
}

bool CxImage::DecodeReduced(std::span<const std::uint8_t> data, std::uint32_t minWidth,
                            std::uint32_t minHeight, int type) {
    const bool jpeg =
        type == imaging::kFormatJpg || (type == imaging::kFormatUnknown && data.size() >= 3 &&
                                        data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff);
    if (jpeg) {
        CxImage out;
        if (CxImageJPG::DecodeScaled(data, out, minWidth, minHeight)) {
            const float quality = m_jpegQuality;
            *this = std::move(out);
            m_jpegQuality = quality;
            m_type = imaging::kFormatJpg;
            return true;
        }
    }
    CxImage full;
    full.SetJpegQuality(m_jpegQuality);
    // Camera raw files skip the full demosaic: embedded preview or half size.
    const bool raw = (type == imaging::kFormatRaw ||
                      (type == imaging::kFormatUnknown && CxImageRAW::LooksLikeRaw(data))) &&
                     CxImageRAW::DecodeThumbnail(data, full, minWidth, minHeight);
    if (!raw && !full.Decode(data, type)) {
        m_lastError = full.GetLastError();
        return false;
    }
    full.SetJpegQuality(m_jpegQuality);
    // The smallest proportional size that still covers the request.
    const double scale = std::max(static_cast<double>(minWidth) / full.Width(),
                                  static_cast<double>(minHeight) / full.Height());
    if (scale < 1.0) {
        const auto w = std::max<std::uint32_t>(
            1, static_cast<std::uint32_t>(std::ceil(full.Width() * scale - 1e-9)));
        const auto h = std::max<std::uint32_t>(
            1, static_cast<std::uint32_t>(std::ceil(full.Height() * scale - 1e-9)));
        if (!full.ResampleTo(w, h)) {
            m_lastError = full.GetLastError();
            return false;
        }
    }
    *this = std::move(full);
    return true;
}

bool CxImage::LoadFileReduced(const std::string& path, std::uint32_t minWidth,
                              std::uint32_t minHeight, int type) {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(path, data, m_lastError)) {
        return false;
    }
    return DecodeReduced(data, minWidth, minHeight, type);
}
