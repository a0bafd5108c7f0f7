#pragma once

// The thumbnail cache: one PNG per picture asset in the thumbnail
// directory, and the loader that decides per file object whether its cached
// copy is still good, makes a new one (reading the picture's metadata at the
// same time) when it is not, and hands the object a ready-to-draw bitmap.
// LoadThumbnail runs on worker threads (the thumbnail job, the computer
// scan, the copy job) and holds the object's lock around the whole
// check-and-make sequence; it never touches the catalogue.

#include <cstdint>
#include <string>

class CFileObject;
class CxImage;
class ImageMetadata;

namespace thumbnails {

// The longest side of a thumbnail.
constexpr std::uint32_t kThumbnailMax = 200;

struct ThumbnailExtent {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const ThumbnailExtent&, const ThumbnailExtent&) = default;
};

// The picture scaled by min(200 / width, 200 / height), never enlarged,
// each side rounded to the nearest pixel (at least 1). 0 × 0 for an empty size.
ThumbnailExtent ThumbnailSize(std::uint32_t width, std::uint32_t height);

// The cache file of an asset: the directory, a separator, the id, ".png";
// empty when there is no directory.
std::string CachePath(const std::string& thumbnailDir, std::int32_t assetId);

// The picture of a file decoded for a thumbnail of at most 200 pixels, and
// the file's own pixel size. The decode is as small as the format allows:
// JPEG files are decoded at the smallest DCT scale that still covers the
// thumbnail; other formats decode fully. False when the bytes are no
// picture we can decode.
struct ThumbnailSource {
    std::uint32_t fileWidth = 0;
    std::uint32_t fileHeight = 0;
};
bool DecodeForThumbnail(const std::string& path, CxImage& picture, ThumbnailSource& source,
                        ImageMetadata& metadata);

// The picture over opaque white as the 24-bit (or palette) bitmap a file
// object keeps; alpha and the transparent colour are blended away.
CxImage FlattenOnWhite(const CxImage& picture);

} // namespace thumbnails

// Makes sure the object has its thumbnail: from the cache file when that is
// still good, otherwise from the picture file, writing a new cache file and
// reading the picture's metadata into the object (the first five texts only
// when empty). Sets metaModified and fileModified when it read the picture
// file; the caller then saves the object and clears both. A job calls it
// per entry with a copy of the entry's handle and no listing or registry
// lock held: set the object's modified time from the file first, then
//   LoadThumbnail(*entry, thumbnailDir);
//   if (entry->metaModified) {
//       catalog.SaveAsset(entry.get()); // the job's own CCatalog
//       entry->metaModified = entry->fileModified = false;
//   }
// and report the entry.
void LoadThumbnail(CFileObject& object, const std::string& thumbnailDir);
