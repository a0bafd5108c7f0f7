// orvanta-cli index: the computer scan's walk over the given folders, with
// progress on the terminal and a summary at the end.

#include "cli/CliSupport.h"

#include "catalogue/Catalog.h"
#include "files/FileObjectRegistry.h"
#include "files/FolderIndexer.h"
#include "files/ScanExclusions.h"
#include "imaging/Image.h"
#include "platform/Paths.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace cli {
namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
    g_interrupted = true;
}

struct Failure {
    std::string path;
    std::string reason;
};

// Progress on stderr: a redrawn bar on a terminal, plain lines otherwise.
class Progress {
public:
    explicit Progress(std::size_t total)
        : m_total(total), m_terminal(isatty(STDERR_FILENO) != 0), m_start(Clock::now()),
          m_last(m_start) {}

    void Update(std::size_t done) {
        const auto now = Clock::now();
        const auto sinceLast = std::chrono::duration<double>(now - m_last).count();
        if (sinceLast < (m_terminal ? 0.1 : 2.0) && done != m_total) {
            return;
        }
        m_last = now;
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
        const std::size_t shown = std::min(done, m_total);
        if (!m_terminal) {
            std::fprintf(stderr, "indexed %zu of %zu files (%.1f files/s)\n", shown, m_total, rate);
            return;
        }
        constexpr int kWidth = 30;
        const int filled = m_total == 0 ? kWidth : static_cast<int>(kWidth * shown / m_total);
        const double left = rate > 0 ? static_cast<double>(m_total - shown) / rate : 0.0;
        const long leftSeconds = static_cast<long>(left + 0.5);
        std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu files  %.1f files/s  %ld:%02ld left ", filled,
                     "##############################", kWidth - filled, "", shown, m_total, rate,
                     leftSeconds / 60, leftSeconds % 60);
        m_drawn = true;
    }

    void Finish() {
        if (m_terminal && m_drawn) {
            std::fputc('\n', stderr);
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    std::size_t m_total;
    bool m_terminal;
    bool m_drawn = false;
    Clock::time_point m_start;
    Clock::time_point m_last;
};

std::string DecodeFailureReason(const std::string& path) {
    CxImage image;
    if (image.LoadFile(path)) {
        return "its thumbnail could not be made";
    }
    return image.GetLastError().empty() ? "it does not decode" : image.GetLastError();
}

} // namespace

int RunIndex(const std::vector<std::string>& args) {
    bool listFailures = false;
    std::vector<std::string> folders;
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            std::cout << kIndexUsage;
            return kExitOk;
        }
        if (arg == "--failures") {
            listFailures = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'", kIndexUsage);
        } else if (!platform::IsDirectory(arg)) {
            return UsageError("'" + arg + "' is not a folder", kIndexUsage);
        } else {
            folders.push_back(AbsolutePath(arg));
        }
    }
    if (folders.empty()) {
        return UsageError("index needs at least one folder", kIndexUsage);
    }
    CatalogueLocation where;
    std::string error;
    if (!OpenUserCatalogue(where, error)) {
        return CatalogueError(error);
    }

    CFileObjectRegistry registry(where.catalogPath);
    CCatalog catalog(where.catalogPath);
    catalog.MainDb().SetBusyTimeout(kBusyTimeoutMs);
    if (!catalog.OpenMain()) {
        return CatalogueError("cannot open the catalogue " + where.catalogPath);
    }
    // An indexing run writes a few statements per file. Without a flush at
    // every commit (the WAL journal keeps the catalogue sound if the process
    // dies; only a power cut could lose the last files, which the next run
    // records again) a run is many times faster.
    for (CppSQLite3DB* db : {&registry.Catalog().MainDb(), &catalog.MainDb()}) {
        try {
            db->Execute("PRAGMA synchronous=NORMAL;");
        } catch (const CppSQLite3Exception&) {
        }
    }
    const std::int32_t lastKnownId = catalog.MaxAssetId();

    std::size_t seen = 0, newPictures = 0, updated = 0;
    std::vector<Failure> failures;
    IndexEvents events;
    events.shouldStop = [] { return g_interrupted.load(); };
    std::unique_ptr<Progress> progress;
    events.recorded = [&](const CFileObjectPtr& object, ThumbnailOutcome outcome) {
        ++seen;
        if (outcome == ThumbnailOutcome::Made) {
            ++(object->assetId > lastKnownId ? newPictures : updated);
        } else if (outcome == ThumbnailOutcome::Failed) {
            failures.push_back({object->GetFullPath(), DecodeFailureReason(object->GetFullPath())});
        }
        progress->Update(seen);
        return true;
    };
    CFolderIndexer indexer(registry, catalog, ScanExclusions(where.thumbnailDir),
                           std::move(events));

    std::size_t total = 0;
    for (const std::string& folder : folders) {
        total += indexer.CountFiles(folder);
    }
    progress = std::make_unique<Progress>(total);

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    for (const std::string& folder : folders) {
        if (!indexer.IndexFolder(folder)) {
            break;
        }
    }
    progress->Finish();

    std::cout << "files seen: " << seen << "\n"
              << "new pictures: " << newPictures << "\n"
              << "updated: " << updated << "\n"
              << "failed: " << failures.size() << "\n";
    if (listFailures) {
        for (const Failure& failure : failures) {
            std::cout << "failed: " << failure.path << ": " << failure.reason << "\n";
        }
    }
    if (g_interrupted) {
        std::cerr << "orvanta-cli: interrupted; everything indexed so far is kept\n";
        return kExitInterrupted;
    }
    return kExitOk;
}

} // namespace cli
