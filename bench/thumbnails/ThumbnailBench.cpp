// Making and re-reading thumbnails for a folder of 200 camera-sized JPEGs,
// timed side by side with the libvips tools over the same files:
//
//   make:   the thumbnail job's steps per entry (last-write time, LoadThumbnail,
//           SaveAsset on the job's own catalogue when metaModified, the
//           in-order item-ready report) against `vipsthumbnail -s 200`;
//   cached: the next listing of the same folder (one PNG decode per image)
//           against reading the 200 cache PNGs with `vips arrayjoin`.
//
// The loader runs on two threads that take entries in listing order, while
// the job thread saves and reports each entry strictly in order as soon as
// it is ready. Usage: orvanta_thumbnail_bench [data dir] [count]. The
// pictures are made once (with our JPEG encoder) and kept in the data dir.

#include "catalogue/Catalog.h"
#include "catalogue/DateTime.h"
#include "files/FileObject.h"
#include "files/ThumbnailCache.h"
#include "imaging/Image.h"
#include "imaging/ImageFormats.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kWidth = 4000;
constexpr std::uint32_t kHeight = 3000;
constexpr int kLoaderThreads = 2;
constexpr int kRounds = 2;

std::string PictureName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.jpg", i);
    return name;
}

// Smooth shapes with sensor-like noise, so the files have a camera's size.
void MakePicture(const std::string& path, int seed) {
    CxImage picture(kWidth, kHeight, 24);
    std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(seed + 1);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = picture.GetBits(y);
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>((state >> 24) % 25) - 12;
            const int wave = static_cast<int>(((x / 7 + y / 5 + seed * 31) % 160));
            row[3 * x] = static_cast<std::uint8_t>(std::clamp(40 + wave + noise, 0, 255));
            row[3 * x + 1] = static_cast<std::uint8_t>(
                std::clamp(60 + static_cast<int>(y / 20) + noise, 0, 255));
            row[3 * x + 2] = static_cast<std::uint8_t>(
                std::clamp(200 - static_cast<int>(x / 25) + noise / 2, 0, 255));
        }
    }
    picture.SetJpegQuality(90);
    if (!picture.SaveFile(path, imaging::kFormatJpg)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

std::vector<std::string> EnsurePictures(const fs::path& dir, int count) {
    fs::create_directories(dir);
    std::vector<std::string> paths;
    std::vector<int> missing;
    for (int i = 0; i < count; ++i) {
        paths.push_back((dir / PictureName(i)).string());
        if (!fs::exists(paths.back())) {
            missing.push_back(i);
        }
    }
    if (!missing.empty()) {
        std::printf("making %zu pictures of %u x %u in %s ...\n", missing.size(), kWidth, kHeight,
                    dir.c_str());
        std::atomic<std::size_t> next{0};
        std::vector<std::jthread> workers;
        for (int t = 0; t < kLoaderThreads; ++t) {
            workers.emplace_back([&] {
                for (std::size_t k; (k = next++) < missing.size();) {
                    MakePicture(paths[missing[k]], missing[k]);
                }
            });
        }
    }
    return paths;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

template <typename F> double Time(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return Seconds(std::chrono::steady_clock::now() - start);
}

// The thumbnail job over one listing: loaders ahead on two threads, saves
// and reports in listing order on this thread.
int RunJob(const std::vector<CFileObject*>& listing, CCatalog& catalog, const std::string& thumbs) {
    const std::size_t n = listing.size();
    std::vector<char> ready(n, 0);
    std::mutex lock;
    std::condition_variable readyChanged;
    std::atomic<std::size_t> next{0};
    std::vector<std::jthread> loaders;
    for (int t = 0; t < kLoaderThreads; ++t) {
        loaders.emplace_back([&] {
            for (std::size_t i; (i = next++) < n;) {
                CFileObject& object = *listing[i];
                struct stat st {};
                if (::stat(object.GetFullPath().c_str(), &st) == 0) {
                    object.SetModified(DateTime::FromTimeT(st.st_mtime));
                }
                LoadThumbnail(object, thumbs);
                {
                    std::lock_guard guard(lock);
                    ready[i] = 1;
                }
                readyChanged.notify_all();
            }
        });
    }
    int reports = 0;
    for (std::size_t i = 0; i < n; ++i) {
        {
            std::unique_lock guard(lock);
            readyChanged.wait(guard, [&] { return ready[i] != 0; });
        }
        CFileObject& object = *listing[i];
        if (object.metaModified) {
            catalog.SaveAsset(&object);
            object.metaModified = false;
            object.fileModified = false;
        }
        ++reports; // stands for posting 1125 with index i
    }
    return reports;
}

std::vector<std::unique_ptr<CFileObject>> Listing(const std::vector<std::string>& paths,
                                                  CCatalog& catalog, bool insert) {
    std::vector<std::unique_ptr<CFileObject>> objects;
    for (const std::string& path : paths) {
        auto object = std::make_unique<CFileObject>(path, nullptr);
        object->folderId = 1;
        object->isimage = true;
        if (insert) {
            catalog.InsertAsset(object.get());
        }
        objects.push_back(std::move(object));
    }
    return objects;
}

std::vector<CFileObject*> Pointers(const std::vector<std::unique_ptr<CFileObject>>& objects) {
    std::vector<CFileObject*> out;
    for (const auto& o : objects) {
        out.push_back(o.get());
    }
    return out;
}

// Appends ' text' with the text in single quotes, piece by piece (GCC 12
// warns falsely about literal + string at -O3).
void AppendQuoted(std::string& command, const std::string& text) {
    command.push_back(' ');
    command.push_back('\'');
    command.append(text);
    command.push_back('\'');
}

double RunCommand(const std::string& command) {
    return Time([&] {
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.substr(0, 200).c_str());
            std::exit(1);
        }
    });
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dataDir = argc > 1 ? fs::path(argv[1]) : fs::path("bench-data/thumbnails");
    const int count = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::vector<std::string> paths = EnsurePictures(dataDir / "pictures", count);

    const fs::path work =
        fs::temp_directory_path() / ("orvanta-thumbbench-" + std::to_string(::getpid()));
    const fs::path thumbs = work / "Thumbs";
    const fs::path vipsOut = work / "vips";
    const fs::path catalogPath = work / "db.db3";
    fs::create_directories(thumbs);
    fs::create_directories(vipsOut);
    fs::copy_file(ORVANTA_TEMPLATE_CATALOG, catalogPath);
    CCatalog catalog(catalogPath.string());
    if (!catalog.OpenMain()) {
        std::fprintf(stderr, "cannot open the catalogue %s\n", catalogPath.c_str());
        return 1;
    }

    std::string vipsFiles;
    std::string cacheFiles;
    for (const std::string& p : paths) {
        AppendQuoted(vipsFiles, p);
    }

    // Warm the page cache so both sides read from memory.
    std::string warm = "cat";
    warm.append(vipsFiles).append(" > /dev/null");
    RunCommand(warm);

    double oursMake = 1e9, vipsMake = 1e9, oursCached = 1e9, vipsCached = 1e9;
    std::vector<std::unique_ptr<CFileObject>> made;
    for (int round = 0; round < kRounds; ++round) {
        fs::remove_all(vipsOut);
        fs::create_directories(vipsOut);
        std::string command = "vipsthumbnail -s 200 -o";
        AppendQuoted(command, (vipsOut / "%s.png").string());
        command.append(vipsFiles);
        vipsMake = std::min(vipsMake, RunCommand(command));

        fs::remove_all(thumbs);
        fs::create_directories(thumbs);
        made = Listing(paths, catalog, true);
        const auto listing = Pointers(made);
        int reports = 0;
        oursMake = std::min(oursMake, Time([&] { reports = RunJob(listing, catalog, thumbs); }));
        if (reports != count || made.front()->width != static_cast<int>(kWidth)) {
            std::fprintf(stderr,
                         "the job did not make every thumbnail (%d reports, id %d, %d x %d)\n",
                         reports, made.front()->assetId, made.front()->width, made.front()->height);
            return 1;
        }
    }
    for (const auto& object : made) {
        cacheFiles.append(cacheFiles.empty() ? "" : " ");
        cacheFiles.append(thumbnails::CachePath(thumbs.string(), object->assetId));
    }
    for (int round = 0; round < kRounds; ++round) {
        std::string command = "vips arrayjoin";
        AppendQuoted(command, cacheFiles);
        AppendQuoted(command, (work / "all.v").string());
        command.append(" --across 20");
        vipsCached = std::min(vipsCached, RunCommand(command));
        // The next listing: objects as the catalogue gives them back.
        auto again = Listing(paths, catalog, false);
        for (std::size_t i = 0; i < again.size(); ++i) {
            again[i]->assetId = made[i]->assetId;
            again[i]->width = made[i]->width;
            again[i]->height = made[i]->height;
            again[i]->timescanned = made[i]->timescanned;
        }
        const auto listing = Pointers(again);
        oursCached = std::min(oursCached, Time([&] { RunJob(listing, catalog, thumbs); }));
        if (again.back()->GetThumbnail() == nullptr || again.back()->fileModified) {
            std::fprintf(stderr, "the cached listing did not read the cache\n");
            return 1;
        }
    }

    std::printf("%d pictures of %u x %u, best of %d rounds\n", count, kWidth, kHeight, kRounds);
    std::printf("make:   ours %.3f s (%d loader threads, catalogue saves)  vipsthumbnail %.3f s  "
                "ratio %.2f\n",
                oursMake, kLoaderThreads, vipsMake, oursMake / vipsMake);
    std::printf("cached: ours %.3f s  vips arrayjoin %.3f s  ratio %.2f\n", oursCached, vipsCached,
                oursCached / vipsCached);
    fs::remove_all(work);
    return 0;
}
