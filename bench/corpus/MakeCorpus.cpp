// The benchmark corpus, made deterministically (the same bytes every run):
//   orvanta_bench_corpus pictures DIR COUNT WIDTH HEIGHT
//       JPEGs (quality 90) with EXIF make, model, date and description
//   orvanta_bench_corpus catalogue DIR COUNT
//       DIR/db.db3 from the template with COUNT image assets in folders of
//       100 below DIR/photos, every file present (empty); half of them are
//       titled "harbour at dusk"

#include "catalogue/CppSQLite3.h"
#include "files/ImageProperties.h"
#include "imaging/Image.h"
#include "imaging/ImageFormats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Smooth gradients with a little noise: compresses like a photograph.
void Paint(CxImage& image, unsigned index) {
    std::uint32_t seed = 2463534242u ^ (index * 2654435761u);
    const std::uint32_t w = image.Width(), h = image.Height();
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = image.GetBits(y);
        for (std::uint32_t x = 0; x < w; ++x) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            const int noise = static_cast<int>(seed & 15) - 8;
            row[3 * x + 0] = static_cast<std::uint8_t>(
                std::clamp(static_cast<int>((x * 255) / w) + noise, 0, 255));
            row[3 * x + 1] = static_cast<std::uint8_t>(
                std::clamp(static_cast<int>((y * 255) / h) + noise, 0, 255));
            row[3 * x + 2] = static_cast<std::uint8_t>(
                std::clamp(static_cast<int>((index * 37 + x / 16 + y / 16) % 256) + noise, 0, 255));
        }
    }
}

int MakePictures(const std::string& dir, unsigned count, std::uint32_t width,
                 std::uint32_t height) {
    fs::create_directories(dir);
    for (unsigned i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/IMG_%05u.JPG", i);
        const std::string path = dir + name;
        if (fs::exists(path)) {
            continue; // kept from an earlier run: the corpus does not change
        }
        CxImage image(width, height, 24);
        Paint(image, i);
        image.SetJpegQuality(90);
        if (!image.SaveFile(path, imaging::kFormatJpg)) {
            std::cerr << "cannot write " << path << ": " << image.GetLastError() << "\n";
            return 1;
        }
        ImageMetadata metadata;
        metadata.ReadFile(path);
        metadata.SetItem(AsciiItem(propertytag::kEquipMake, "Orvanta Bench"));
        metadata.SetItem(AsciiItem(propertytag::kEquipModel, "Model " + std::to_string(i % 7)));
        metadata.SetItem(AsciiItem(propertytag::kDateTime, "2009:03:15 14:25:01"));
        metadata.SetItem(
            AsciiItem(propertytag::kImageDescription, "Corpus picture " + std::to_string(i)));
        if (!metadata.WriteFile(path)) {
            std::cerr << "cannot write the EXIF data of " << path << "\n";
            return 1;
        }
    }
    return 0;
}

int MakeCatalogue(const std::string& dir, unsigned count) {
    const std::string catalog = dir + "/db.db3";
    if (fs::exists(catalog)) {
        return 0;
    }
    fs::create_directories(dir);
    fs::copy_file(ORVANTA_TEMPLATE_CATALOG, catalog + ".new", fs::copy_options::overwrite_existing);
    CppSQLite3DB db;
    db.Open(catalog + ".new");
    db.Execute("BEGIN");
    for (unsigned folder = 0; folder * 100 < count; ++folder) {
        const std::string path = dir + "/photos/" + std::to_string(folder) + "/";
        fs::create_directories(path);
        db.Execute(FormatSql("INSERT INTO folders (id, path) VALUES (%u, '%s')", folder + 1,
                             EscapeSql(path).c_str()));
        for (unsigned i = 0; i < 100 && folder * 100 + i < count; ++i) {
            const unsigned id = folder * 100 + i + 1;
            const std::string name = "DSC_" + std::to_string(id) + ".JPG";
            std::ofstream(path + name).put('x');
            db.Execute(FormatSql("INSERT INTO assets (id, folderid, filename, isimage) VALUES "
                                 "(%u, %u, '%s', 1)",
                                 id, folder + 1, name.c_str()));
            db.Execute(FormatSql("INSERT INTO image (assetid, title, rating) VALUES (%u, '%s', %d)",
                                 id, id % 2 == 0 ? "harbour at dusk" : "field",
                                 static_cast<int>(id % 6) - 1));
        }
    }
    db.Execute("COMMIT");
    db.Close();
    fs::rename(catalog + ".new", catalog);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "pictures" && argc == 6) {
        return MakePictures(argv[2], static_cast<unsigned>(std::atoi(argv[3])),
                            static_cast<std::uint32_t>(std::atoi(argv[4])),
                            static_cast<std::uint32_t>(std::atoi(argv[5])));
    }
    if (mode == "catalogue" && argc == 4) {
        return MakeCatalogue(argv[2], static_cast<unsigned>(std::atoi(argv[3])));
    }
    std::cerr << "usage: orvanta_bench_corpus pictures DIR COUNT WIDTH HEIGHT\n"
                 "       orvanta_bench_corpus catalogue DIR COUNT\n";
    return 1;
}
