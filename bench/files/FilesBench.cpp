// Speed of the file-object registry, the sort of a listing, the quick search
// and the folder listing job at the sizes photographers have.
//
// Work happens under $ORVANTA_BENCH_DIR (default /tmp), on the disk the
// user's photos would be on; each run makes and removes its own folder.

#include "files/BrowseManager.h"
#include "files/FileObjectRegistry.h"
#include "platform/Messages.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

constexpr int kAssets = 100000;
constexpr int kFolders = 1000;

struct BenchDir {
    std::string root;
    BenchDir() {
        const char* base = std::getenv("ORVANTA_BENCH_DIR");
        static int made = 0;
        root = std::string(base != nullptr ? base : "/tmp") + "/orvanta-files-bench-" +
               std::to_string(::getpid()) + "-" + std::to_string(++made);
        fs::create_directories(root);
    }
    ~BenchDir() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

// 100,000 image assets in 1,000 folders, every file present on disk; half of
// them carry the title word "harbour".
struct LargeCatalogue {
    BenchDir dir;
    std::string catalog = dir.root + "/db.db3";
    std::vector<std::string> paths;

    LargeCatalogue() {
        fs::copy_file(ORVANTA_TEMPLATE_CATALOG, catalog);
        CppSQLite3DB db;
        db.Open(catalog);
        db.Execute("BEGIN");
        for (int f = 0; f < kFolders; ++f) {
            const std::string folder = dir.root + "/photos/" + std::to_string(f) + "/";
            fs::create_directories(folder);
            db.Execute(FormatSql("INSERT INTO folders (id, path) VALUES (%d, '%s')", f + 1,
                                 folder.c_str()));
            for (int i = 0; i < kAssets / kFolders; ++i) {
                const int id = f * (kAssets / kFolders) + i + 1;
                const std::string name = "IMG_" + std::to_string(id) + ".JPG";
                std::ofstream(folder + name).put('x');
                paths.push_back(folder + name);
                db.Execute(FormatSql("INSERT INTO assets (id, folderid, filename, isimage) VALUES "
                                     "(%d, %d, '%s', 1)",
                                     id, f + 1, name.c_str()));
                db.Execute(FormatSql("INSERT INTO image (assetid, title, rating) VALUES (%d, '%s', "
                                     "%d)",
                                     id, id % 2 == 0 ? "harbour at dusk" : "field", id % 6 - 1));
            }
        }
        db.Execute("COMMIT");
    }
};

LargeCatalogue& Catalogue() {
    static LargeCatalogue catalogue;
    return catalogue;
}

void BM_GetFileObjectFromTheCatalogue(benchmark::State& state) {
    LargeCatalogue& c = Catalogue();
    for (auto _ : state) {
        CFileObjectRegistry registry(c.catalog);
        for (int f = 0; f < kFolders; ++f) {
            registry.FolderIdForPath(c.dir.root + "/photos/" + std::to_string(f) + "/");
        }
        std::vector<CFileObjectPtr> held;
        held.reserve(c.paths.size());
        for (size_t i = 0; i < c.paths.size(); ++i) {
            held.push_back(registry.GetFileObject(c.paths[i], static_cast<int>(i / 100) + 1));
        }
        benchmark::DoNotOptimize(held.data());
        state.PauseTiming();
        held.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kAssets);
}
BENCHMARK(BM_GetFileObjectFromTheCatalogue)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_GetFileObjectAlreadyLive(benchmark::State& state) {
    LargeCatalogue& c = Catalogue();
    CFileObjectRegistry registry(c.catalog);
    std::vector<CFileObjectPtr> held;
    for (const std::string& path : c.paths) {
        held.push_back(registry.GetFileObject(path, -1, true));
    }
    for (auto _ : state) {
        for (const std::string& path : c.paths) {
            benchmark::DoNotOptimize(registry.GetFileObject(path, -1, true).get());
        }
    }
    state.SetItemsProcessed(state.iterations() * kAssets);
}
BENCHMARK(BM_GetFileObjectAlreadyLive)->Unit(benchmark::kMillisecond);

void BM_SortHundredThousandHandles(benchmark::State& state) {
    LargeCatalogue& c = Catalogue();
    CFileObjectRegistry registry(c.catalog);
    CFileObjectTable table;
    for (const std::string& path : c.paths) {
        table.Add(registry.GetFileObject(path, -1, true));
    }
    std::mt19937 random(1);
    for (auto _ : state) {
        state.PauseTiming();
        std::shuffle(table.begin(), table.end(), random);
        state.ResumeTiming();
        std::sort(table.begin(), table.end(), FileObjectLess);
    }
    state.SetItemsProcessed(state.iterations() * kAssets);
}
BENCHMARK(BM_SortHundredThousandHandles)->Unit(benchmark::kMillisecond);

void BM_QuickSearchHittingHalf(benchmark::State& state) {
    LargeCatalogue& c = Catalogue();
    CFileObjectRegistry registry(c.catalog);
    size_t found = 0;
    for (auto _ : state) {
        CCatalog catalog(c.catalog);
        catalog.OpenMain();
        catalog.SetRegistry(&registry);
        CFileObjectRefTable table;
        catalog.QuickSearch("harbour", table);
        std::sort(table.begin(), table.end(), FileObjectLess);
        found = static_cast<size_t>(table.GetCount());
    }
    state.counters["hits"] = static_cast<double>(found);
}
BENCHMARK(BM_QuickSearchHittingHalf)->Unit(benchmark::kMillisecond)->UseRealTime();

// Time from the browse call to listing-ready for a folder of 10,000 files.
void ListFolderOnce(benchmark::State& state, bool rowsKnown) {
    BenchDir dir;
    const std::string catalog = dir.root + "/db.db3";
    fs::copy_file(ORVANTA_TEMPLATE_CATALOG, catalog);
    const std::string folder = dir.root + "/big";
    fs::create_directories(folder);
    for (int i = 0; i < 10000; ++i) {
        std::ofstream(folder + "/DSC_" + std::to_string(i) + ".JPG").put('x');
    }
    platform::MessageLoop& loop = platform::MessageLoop::Instance();
    loop.SetUiThread();
    bool ready = false;
    auto window = loop.Register([&](const platform::Message& m) {
        ready = ready || m.id == platform::kMsgListingReady;
        return 0;
    });
    CFileObjectRegistry registry(catalog);
    for (auto _ : state) {
        state.PauseTiming();
        {
            CBrowseManager warmUp(registry, window, "");
            if (rowsKnown) {
                warmUp.BrowseFolder(folder);
                warmUp.RunningCounter().IsZeroEvent().Wait();
                std::lock_guard lock(warmUp.ListingLock());
                warmUp.ListingTable().Clear();
            }
        }
        loop.DrainPending();
        ready = false;
        state.ResumeTiming();
        CBrowseManager manager(registry, window, "");
        manager.BrowseFolder(folder);
        while (!ready) {
            manager.RunningCounter().IsZeroEvent().Wait(std::chrono::milliseconds(1));
            loop.DrainPending();
        }
        state.PauseTiming();
        {
            std::lock_guard lock(manager.ListingLock());
            manager.ListingTable().Clear();
        }
        state.ResumeTiming();
    }
    loop.Unregister(window);
}

void BM_ListFolderOfTenThousandNewFiles(benchmark::State& state) {
    ListFolderOnce(state, false);
}
BENCHMARK(BM_ListFolderOfTenThousandNewFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_ListFolderOfTenThousandKnownFiles(benchmark::State& state) {
    ListFolderOnce(state, true);
}
BENCHMARK(BM_ListFolderOfTenThousandKnownFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

} // namespace
