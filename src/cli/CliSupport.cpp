#include "cli/CliSupport.h"

#include "catalogue/Catalog.h"
#include "files/CachePaths.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <climits>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace cli {
namespace {

// Message boxes (the schema upgrade's, for instance) become lines on stderr.
class ConsoleMessages : public platform::MessageBoxPresenter {
public:
    platform::MessageBoxAnswer Present(const platform::MessageBoxRequest& request) override {
        std::cerr << "orvanta-cli: " << request.text << "\n";
        return platform::FirstButton(request.buttons);
    }
};

} // namespace

const char kIndexUsage[] =
    "usage: orvanta-cli index [--failures] DIR...\n"
    "Records every file below the folders in the catalogue, with thumbnails and\n"
    "metadata for the pictures, as the desktop program's computer scan does.\n"
    "  --failures  list each picture that failed, with the reason\n"
    "Ctrl-C stops after the current file.\n";
const char kSearchUsage[] =
    "usage: orvanta-cli search QUERY...\n"
    "Runs the quick search (words, \"phrases\", tag:, filename:, rating:<n, =n, >n)\n"
    "and prints one full path per line.\n";
const char kShowUsage[] =
    "usage: orvanta-cli show PATH...\n"
    "Prints the catalogue's record of each file: ids, marks, metadata, rating,\n"
    "keywords and albums. Exit status 3 when a file is not in the catalogue.\n";
const char kAlbumsUsage[] = "usage: orvanta-cli albums\n"
                            "Prints the album tree with ids, kinds and member counts.\n";

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

int UsageError(const std::string& message, const char* usage) {
    std::cerr << "orvanta-cli: " << message << "\n" << usage;
    return kExitUsage;
}

int CatalogueError(const std::string& message) {
    std::cerr << "orvanta-cli: " << message << "\n";
    return kExitNoCatalogue;
}

std::string AbsolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    std::string absolute;
    if (realpath(path.c_str(), resolved) != nullptr) {
        absolute = resolved;
    } else if (!path.empty() && path.front() == '/') {
        absolute = path;
    } else {
        char cwd[PATH_MAX];
        absolute = platform::JoinPath(getcwd(cwd, sizeof cwd) != nullptr ? cwd : "", path);
    }
    while (absolute.size() > 1 && absolute.back() == '/') {
        absolute.pop_back();
    }
    return absolute;
}

bool OpenUserCatalogue(CatalogueLocation& where, std::string& error) {
    const std::string data = platform::AppDataDirectory();
    if (!platform::CreateDirectories(data)) {
        error = "cannot create the data folder " + data;
        return false;
    }
    where.catalogPath = platform::JoinPath(data, "db.db3");
    where.thumbnailDir = platform::JoinPath(data, "Thumbs");
    platform::CreateDirectory(where.thumbnailDir);
    files::SetThumbnailDir(where.thumbnailDir);
    catalogue::SetCatalogPath(where.catalogPath);
    if (!platform::PathExists(where.catalogPath)) {
        const std::string templatePath = platform::JoinPath(platform::ProgramDirectory(), "db.db3");
        if (!platform::CopyFileNoReplace(templatePath, where.catalogPath) &&
            !platform::PathExists(where.catalogPath)) {
            error = "there is no catalogue at " + where.catalogPath +
                    " and no template to make one from (" + templatePath + ")";
            return false;
        }
    }
    platform::SetMessageBoxPresenter(std::make_shared<ConsoleMessages>());
    {
        CCatalog catalog(where.catalogPath);
        if (catalog.OpenMain()) {
            catalog.UpgradeSchema();
        }
    }
    try {
        CppSQLite3DB db;
        db.Open(where.catalogPath);
        CppSQLite3Query check = db.Query("SELECT COUNT(*) FROM assets, albums WHERE 0");
    } catch (const CppSQLite3Exception& e) {
        error = "cannot open the catalogue " + where.catalogPath + ": " + e.ErrorMessage();
        return false;
    }
    return true;
}

} // namespace cli
