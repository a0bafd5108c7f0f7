#include "files/ThumbnailCache.h"

#include "catalogue/DateTime.h"
#include "files/FileObject.h"
#include "files/ImageProperties.h"
#include "files/ThumbnailDib.h"
#include "imaging/Image.h"
#include "imaging/ImageFormats.h"
#include "imaging/ImageJPG.h"
#include "imaging/ImageRAW.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace thumbnails {

namespace {

// Pictures larger than this are not decoded for a thumbnail.
constexpr off_t kMaxFileBytes = off_t{1} << 30;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > kMaxFileBytes) {
        return false;
    }
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd.Get(), out.data() + done, out.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool IsJpeg(const std::vector<std::uint8_t>& data) {
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

// A JPEG decoded at the DCT scale that still covers the thumbnail, when the
// header's size is known and the decoder agrees with it.
bool DecodeJpegReduced(const std::vector<std::uint8_t>& data, const ImageMetadata& metadata,
                       CxImage& picture, ThumbnailSource& source) {
    const std::uint32_t w = metadata.PixelWidth();
    const std::uint32_t h = metadata.PixelHeight();
    if (w == 0 || h == 0) {
        return false;
    }
    const ThumbnailExtent thumb = ThumbnailSize(w, h);
    const unsigned m = CxImageJPG::ScaleFor(w, h, thumb.width, thumb.height);
    if (!picture.DecodeReduced(data, thumb.width, thumb.height, imaging::kFormatJpg)) {
        return false;
    }
    // libjpeg rounds scaled sizes up; any other size means the header we
    // read and the decoder's frame differ, so trust a full decode instead.
    if (picture.Width() != (std::uint64_t{w} * m + 7) / 8 ||
        picture.Height() != (std::uint64_t{h} * m + 7) / 8) {
        return false;
    }
    source.fileWidth = w;
    source.fileHeight = h;
    return true;
}

// Alpha of a pixel counting the transparent colour as fully transparent.
std::uint8_t PixelAlpha(const CxImage& picture, std::int64_t x, std::int64_t y, RgbQuad colour) {
    if (picture.AlphaIsValid()) {
        return picture.AlphaGet(x, y);
    }
    if (!picture.IsTransparent()) {
        return 255;
    }
    if (picture.GetBpp() <= 8) {
        return picture.GetPixelIndex(x, y) == picture.GetTransIndex() ? 0 : 255;
    }
    const RgbQuad t = picture.GetTransColor();
    const bool same = colour.red == t.red && colour.green == t.green && colour.blue == t.blue;
    return same ? 0 : 255;
}

std::uint8_t OverWhite(std::uint8_t c, std::uint8_t a) {
    return static_cast<std::uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

// Writes the PNG through a temporary file so a failed write leaves no
// half file. Cache files are not synced: a lost one is made again.
bool WriteCacheFile(CxImage& thumbnail, const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    // A cache file is written once per picture and read often: a fast save
    // costs a few more bytes, not a noticeable share of the indexing time.
    thumbnail.SetPngCompression(1);
    if (!thumbnail.Encode(bytes, imaging::kFormatPng)) {
        return false;
    }
    const std::string temp = path + ".tmp" + std::to_string(::getpid()) + "-" +
                             std::to_string(static_cast<unsigned long>(::gettid()));
    {
        FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.Get() < 0) {
            return false;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                ::unlink(temp.c_str());
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void StoreThumbnail(CFileObject& object, const CxImage& picture) {
    object.SetThumbnail(ThumbnailDib::FromImage(FlattenOnWhite(picture)));
}

std::string WithoutAscii(std::string text) {
    for (auto at = text.find("ASCII"); at != std::string::npos; at = text.find("ASCII", at)) {
        text.erase(at, 5);
    }
    return text;
}

// The picture's metadata into the object's texts: the first five only when
// the object has none yet (the user may have typed them), the rest always.
void ReadMetadataInto(CFileObject& object, ImageMetadata& metadata) {
    namespace tag = propertytag;
    const CImageProperties properties(metadata);
    const auto fillEmpty = [&](std::string& field, std::uint32_t id) {
        if (field.empty()) {
            field = properties.PropertyText(id);
        }
    };
    fillEmpty(object.description, tag::kImageDescription);
    fillEmpty(object.title, tag::kImageTitle);
    fillEmpty(object.artist, tag::kArtist);
    fillEmpty(object.copyright, tag::kCopyright);
    if (object.usercomment.empty()) {
        object.usercomment = WithoutAscii(properties.PropertyText(tag::kUserComment));
    }
    const std::pair<std::string CFileObject::*, std::uint32_t> always[] = {
        {&CFileObject::equipmake, tag::kEquipMake},
        {&CFileObject::equipmodel, tag::kEquipModel},
        {&CFileObject::orientation, tag::kOrientation},
        {&CFileObject::datetaken, tag::kDateTime},
        {&CFileObject::exposuretime, tag::kExposureTime},
        {&CFileObject::fnumber, tag::kFNumber},
        {&CFileObject::exposureprog, tag::kExposureProgram},
        {&CFileObject::isospeed, tag::kIsoSpeed},
        {&CFileObject::shutterspeed, tag::kShutterSpeed},
        {&CFileObject::aperture, tag::kAperture},
        {&CFileObject::brightness, tag::kBrightness},
        {&CFileObject::exposurebios, tag::kExposureBias},
        {&CFileObject::maxaperture, tag::kMaxAperture},
        {&CFileObject::meteringmode, tag::kMeteringMode},
        {&CFileObject::lightsource, tag::kLightSource},
        {&CFileObject::flash, tag::kFlash},
        {&CFileObject::focallength, tag::kFocalLength},
        {&CFileObject::makernote, tag::kMakerNote},
    };
    for (const auto& [field, id] : always) {
        object.*field = properties.PropertyText(id);
    }
}

// Step 6 of the loader: the picture file itself.
void MakeThumbnail(CFileObject& object, const std::string& cachePath) {
    object.metaModified = true;
    object.fileModified = true;
    CxImage picture;
    ThumbnailSource source;
    ImageMetadata metadata;
    if (!DecodeForThumbnail(object.GetFullPath(), picture, source, metadata)) {
        return;
    }
    object.isimage = true;
    object.width = static_cast<std::int32_t>(source.fileWidth);
    object.height = static_cast<std::int32_t>(source.fileHeight);
    const ThumbnailExtent size = ThumbnailSize(source.fileWidth, source.fileHeight);
    if ((picture.Width() != size.width || picture.Height() != size.height) &&
        !picture.ResampleTo(size.width, size.height)) {
        return;
    }
    WriteCacheFile(picture, cachePath); // a failure still shows the thumbnail from memory
    StoreThumbnail(object, picture);
    object.timescanned = DateTime::Now();
    ReadMetadataInto(object, metadata);
}

} // namespace

ThumbnailExtent ThumbnailSize(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0) {
        return {};
    }
    const double scale = std::min({static_cast<double>(kThumbnailMax) / width,
                                   static_cast<double>(kThumbnailMax) / height, 1.0});
    const auto side = [scale](std::uint32_t n) {
        return std::max<std::uint32_t>(1, static_cast<std::uint32_t>(n * scale + 0.5));
    };
    return {side(width), side(height)};
}

std::string CachePath(const std::string& thumbnailDir, std::int32_t assetId) {
    if (thumbnailDir.empty()) {
        return {}; // no cache directory: nothing is read or written
    }
    std::string path = thumbnailDir;
    if (path.back() != '/') {
        path.push_back('/');
    }
    return path + std::to_string(assetId) + ".png";
}

namespace {

// The raw file's own pixel size is the one its metadata gives when that has
// the preview's proportions (a rotated or cropped preview does not); else
// the preview stands for the file, as a half-size decode is twice as small.
bool DecodeRawReduced(std::span<const std::uint8_t> data, const ImageMetadata& metadata,
                      CxImage& picture, ThumbnailSource& source) {
    CxImage preview;
    if (!CxImageRAW::DecodeThumbnail(data, preview, kThumbnailMax, kThumbnailMax)) {
        return false;
    }
    source.fileWidth = preview.Width();
    source.fileHeight = preview.Height();
    const double w = metadata.PixelWidth(), h = metadata.PixelHeight();
    if (w > 0 && h > 0 &&
        std::abs(w / h - static_cast<double>(preview.Width()) / preview.Height()) <
            0.02 * (w / h)) {
        source.fileWidth = metadata.PixelWidth();
        source.fileHeight = metadata.PixelHeight();
    }
    picture = std::move(preview);
    return true;
}

} // namespace

bool DecodeForThumbnail(const std::string& path, CxImage& picture, ThumbnailSource& source,
                        ImageMetadata& metadata) {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(path, data) || data.empty()) {
        return false;
    }
    metadata.ReadBytes(data);
    if (IsJpeg(data) && DecodeJpegReduced(data, metadata, picture, source)) {
        return true;
    }
    // Camera raw files: the embedded preview (or a half-size decode) covers
    // the thumbnail, so the full demosaic never runs here.
    if (CxImageRAW::LooksLikeRaw(data) && DecodeRawReduced(data, metadata, picture, source)) {
        return true;
    }
    if (!picture.Decode(data)) {
        return false;
    }
    source.fileWidth = picture.Width();
    source.fileHeight = picture.Height();
    return true;
}

CxImage FlattenOnWhite(const CxImage& picture) {
    if (!picture.AlphaIsValid() && !picture.IsTransparent()) {
        return picture;
    }
    CxImage out;
    if (!out.Create(picture.Width(), picture.Height(), 24)) {
        return out;
    }
    for (std::uint32_t y = 0; y < picture.Height(); ++y) {
        for (std::uint32_t x = 0; x < picture.Width(); ++x) {
            const RgbQuad c = picture.GetPixelColor(x, y);
            const std::uint8_t a = PixelAlpha(picture, x, y, c);
            out.SetPixelColor(
                x, y, MakeRgb(OverWhite(c.red, a), OverWhite(c.green, a), OverWhite(c.blue, a)));
        }
    }
    return out;
}

} // namespace thumbnails

void LoadThumbnail(CFileObject& object, const std::string& thumbnailDir) {
    // The file changed since it was last read.
    if (object.timescanned.IsValid() && object.GetModified().IsValid() &&
        object.timescanned <= object.GetModified()) {
        std::lock_guard lock(object.Lock());
        object.SetThumbnailLoaded(false);
    }
    std::lock_guard lock(object.Lock());
    if (object.assetId == -1 || object.IsThumbnailLoaded()) {
        return;
    }
    const std::string cachePath = thumbnails::CachePath(thumbnailDir, object.assetId);
    struct stat st {};
    const bool cacheGood = object.width > 0 && object.height != 0 &&
                           ::stat(cachePath.c_str(), &st) == 0 &&
                           object.timescanned > object.GetModified();
    if (cacheGood) {
        object.isimage = true;
        CxImage cached;
        if (cached.LoadFile(cachePath, imaging::kFormatPng)) {
            thumbnails::StoreThumbnail(object, cached);
        }
    } else {
        thumbnails::MakeThumbnail(object, cachePath);
    }
    object.SetThumbnailLoaded(true);
}
