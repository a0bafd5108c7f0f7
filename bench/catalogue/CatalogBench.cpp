// Speed of the catalogue operations the indexing and the album tree lean on,
// on a catalogue of 100,000 image assets in 1,000 folders with image rows,
// three keywords each and 500 albums under one parent.
//
// The catalogue is made once per run from the template, in a temporary
// directory removed at exit. Its rows are written in one transaction, which
// only this set-up does; the measured operations run as the program runs
// them, statement by statement on the main connection in its default
// synchronous mode.

#include "catalogue/Catalog.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace {

constexpr int kFolders = 1000;
constexpr int kAssetsPerFolder = 100;
constexpr int kAssets = kFolders * kAssetsPerFolder;
constexpr int kKeywords = 200;
constexpr int kAlbums = 500;
constexpr int kPhotosPerAlbum = 20;

std::string FolderPath(int folder) {
    char path[64];
    std::snprintf(path, sizeof path, "/home/anne/Pictures/%04d/", folder);
    return path;
}

std::string FileName(int asset) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%06d.JPG", asset);
    return name;
}

void FillCatalogue(CppSQLite3DB& db) {
    db.Execute("BEGIN");
    for (int folder = 0; folder < kFolders; ++folder) {
        db.Execute(FormatSql("INSERT INTO folders (id, path) VALUES (%d, '%s')", folder + 1,
                             FolderPath(folder).c_str()));
    }
    for (int k = 0; k < kKeywords; ++k) {
        db.Execute(
            FormatSql("INSERT INTO keywords (id, keyword) VALUES (%d, 'keyword %d')", k + 1, k));
    }
    for (int asset = 0; asset < kAssets; ++asset) {
        const int id = asset + 1;
        db.Execute(FormatSql("INSERT INTO assets (id, folderid, filename, isimage, timesynced, "
                             "timescanned, ismetamodified) VALUES (%d, %d, '%s', 1, '', "
                             "'2009-03-15 14:25:01', %d)",
                             id, asset / kAssetsPerFolder + 1, FileName(asset).c_str(),
                             asset % 10 == 0 ? 1 : 0));
        db.Execute(FormatSql("INSERT INTO image (assetid, width, height, type, title, equipmake, "
                             "equipmodel, rating, datetaken) VALUES (%d, 4000, 3000, 2, 'Photo "
                             "%d', 'Maker', 'Model %d', %d, '2009:03:15 14:25:01')",
                             id, asset, asset % 7, asset % 6 - 1));
        for (int k : {asset % kKeywords, (asset + 67) % kKeywords, (asset + 134) % kKeywords}) {
            db.Execute(FormatSql("INSERT INTO assettokeyword (keywordid, assetid) VALUES (%d, %d)",
                                 k + 1, id));
        }
    }
    db.Execute("INSERT INTO albums (id, title, displayname, parentalbum) VALUES (100, 'Bench', "
               "'Bench', 0)");
    for (int album = 0; album < kAlbums; ++album) {
        const int id = 101 + album;
        db.Execute(FormatSql("INSERT INTO albums (id, title, displayname, parentalbum) VALUES (%d, "
                             "'Album %d', 'Album %d', 100)",
                             id, album, album));
        for (int p = 0; p < kPhotosPerAlbum; ++p) {
            db.Execute(FormatSql("INSERT INTO assettoalbum (assetid, albumid) VALUES (%d, %d)",
                                 (album * kPhotosPerAlbum + p) * 7 % kAssets + 1, id));
        }
    }
    db.Execute("COMMIT");
}

// The large catalogue, made on first use and removed at exit.
class BenchCatalogue {
public:
    static const std::string& Path() {
        static BenchCatalogue catalogue;
        return catalogue.m_path;
    }

private:
    BenchCatalogue() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/orvanta-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary directory");
        }
        m_dir = pattern;
        m_path = m_dir + "/db.db3";
        std::filesystem::copy_file(ORVANTA_TEMPLATE_CATALOG, m_path);
        CppSQLite3DB db;
        db.Open(m_path);
        FillCatalogue(db);
    }
    ~BenchCatalogue() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::string m_dir;
    std::string m_path;
};

CCatalog& OpenCatalogue(std::unique_ptr<CCatalog>& holder) {
    holder = std::make_unique<CCatalog>(BenchCatalogue::Path());
    if (!holder->OpenMain()) {
        throw std::runtime_error("cannot open the bench catalogue");
    }
    return *holder;
}

// A file object's lookup as the registry makes it: the asset row, then the
// image row and the keyword ids.
void BM_LookupAsset(benchmark::State& state) {
    std::unique_ptr<CCatalog> holder;
    CCatalog& catalog = OpenCatalogue(holder);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pick(0, kAssets - 1);
    for (auto _ : state) {
        const int asset = pick(random);
        AssetRecord record;
        record.folderId = asset / kAssetsPerFolder + 1;
        record.fileName = FileName(asset);
        const bool found = catalog.LookupAsset(&record);
        benchmark::DoNotOptimize(found);
        if (!found || record.keywordIds.size() != 3) {
            state.SkipWithError("an asset was not found");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupAsset);

// A new picture: the assets row and its image row.
void BM_InsertAsset(benchmark::State& state) {
    std::unique_ptr<CCatalog> holder;
    CCatalog& catalog = OpenCatalogue(holder);
    static int next = kAssets;
    for (auto _ : state) {
        AssetRecord record;
        record.folderId = next % kFolders + 1;
        record.fileName = FileName(next++);
        record.isimage = true;
        if (!catalog.InsertAsset(&record)) {
            state.SkipWithError("an insert failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InsertAsset)->Iterations(2000)->UseRealTime();

// A changed picture read and written back: lookup, then asset row, image
// row, keyword links and the flag.
void BM_LookupAndSaveAsset(benchmark::State& state) {
    std::unique_ptr<CCatalog> holder;
    CCatalog& catalog = OpenCatalogue(holder);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, kAssets - 1);
    for (auto _ : state) {
        const int asset = pick(random);
        AssetRecord record;
        record.folderId = asset / kAssetsPerFolder + 1;
        record.fileName = FileName(asset);
        catalog.LookupAsset(&record);
        record.title = "It's retitled";
        record.timescanned = DateTime::Now();
        if (!catalog.SaveAsset(&record)) {
            state.SkipWithError("a save failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupAndSaveAsset)->Iterations(500)->UseRealTime();

// The album tree opening the parent of 500 albums.
void BM_ListChildAlbums(benchmark::State& state) {
    std::unique_ptr<CCatalog> holder;
    CCatalog& catalog = OpenCatalogue(holder);
    for (auto _ : state) {
        std::vector<std::unique_ptr<AlbumInfo>> albums;
        catalog.ListChildAlbums(100, albums);
        if (albums.size() != kAlbums) {
            state.SkipWithError("the albums were not all listed");
            break;
        }
        benchmark::DoNotOptimize(albums.data());
    }
    state.SetItemsProcessed(state.iterations() * kAlbums);
}
BENCHMARK(BM_ListChildAlbums)->Unit(benchmark::kMillisecond);

} // namespace
