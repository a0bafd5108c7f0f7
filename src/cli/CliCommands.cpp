// orvanta-cli search, show and albums: read-only views of the catalogue.

#include "cli/CliSupport.h"

#include "catalogue/Catalog.h"
#include "files/FileObjectRegistry.h"

#include <algorithm>
#include <iostream>
#include <memory>

namespace cli {
namespace {

// The catalogue opened for reading by a command; null after reporting why not.
std::unique_ptr<CCatalog> OpenForCommand(CatalogueLocation& where, int& status) {
    std::string error;
    if (!OpenUserCatalogue(where, error)) {
        status = CatalogueError(error);
        return nullptr;
    }
    auto catalog = std::make_unique<CCatalog>(where.catalogPath);
    if (!catalog->OpenMain()) {
        status = CatalogueError("cannot open the catalogue " + where.catalogPath);
        return nullptr;
    }
    return catalog;
}

void PrintField(const char* name, const std::string& value) {
    std::cout << name << ": " << value << "\n";
}

void PrintRecord(CCatalog& catalog, const std::string& path, AssetRecord& record) {
    bool metaModified = false, fileModified = false;
    catalog.ReadAssetMarks(record.assetId, metaModified, fileModified);
    std::string marks;
    if (metaModified) {
        marks = "metadata modified";
    }
    if (fileModified) {
        marks += marks.empty() ? "file modified" : ", file modified";
    }
    PrintField("path", path);
    PrintField("asset id", std::to_string(record.assetId));
    PrintField("folder id", std::to_string(record.folderId));
    PrintField("kind", record.isfolder ? "folder" : record.isimage ? "image" : "file");
    PrintField("marks", marks.empty() ? "none" : marks);
    PrintField("timescanned", record.timescanned.Format());
    PrintField("timesynced", record.timesynced.Format());
    if (!record.isimage) {
        return;
    }
    PrintField("width", std::to_string(record.width));
    PrintField("height", std::to_string(record.height));
    PrintField("type", std::to_string(record.type));
    PrintField("rating", record.rating < 0 ? "none" : std::to_string(record.rating));
    const std::pair<const char*, const std::string*> texts[] = {
        {"description", &record.description},
        {"title", &record.title},
        {"artist", &record.artist},
        {"copyright", &record.copyright},
        {"usercomment", &record.usercomment},
        {"equipmake", &record.equipmake},
        {"equipmodel", &record.equipmodel},
        {"orientation", &record.orientation},
        {"datetaken", &record.datetaken},
        {"exposuretime", &record.exposuretime},
        {"fnumber", &record.fnumber},
        {"exposureprog", &record.exposureprog},
        {"isospeed", &record.isospeed},
        {"shutterspeed", &record.shutterspeed},
        {"aperture", &record.aperture},
        {"brightness", &record.brightness},
        {"exposurebios", &record.exposurebios},
        {"maxaperture", &record.maxaperture},
        {"meteringmode", &record.meteringmode},
        {"lightsource", &record.lightsource},
        {"flash", &record.flash},
        {"focallength", &record.focallength},
        {"makernote", &record.makernote},
    };
    for (const auto& [name, value] : texts) {
        PrintField(name, *value);
    }
    std::string keywords;
    for (std::int32_t id : record.keywordIds) {
        keywords += (keywords.empty() ? "" : "; ") + catalog.LookupKeywordText(id);
    }
    PrintField("keywords", keywords);
    std::vector<AlbumRef> albums;
    catalog.ListAlbumsOfAsset(&record, true, albums);
    catalog.ListAlbumsOfAsset(&record, false, albums);
    std::string names;
    for (const AlbumRef& album : albums) {
        names += (names.empty() ? "" : ", ") + album.title + " (" + std::to_string(album.id) + ")";
    }
    PrintField("albums", names);
}

void PrintAlbums(CCatalog& catalog, std::int32_t parent, int depth) {
    std::vector<std::unique_ptr<AlbumInfo>> albums;
    catalog.ListChildAlbums(parent, albums);
    for (const auto& album : albums) {
        const char* kind = album->system != 0      ? "system"
                           : album->automatic != 0 ? "automatic"
                                                   : "user";
        std::cout << std::string(static_cast<size_t>(depth) * 2, ' ') << album->id << "  "
                  << album->name << "  (" << kind << (album->published != 0 ? ", published" : "")
                  << ", " << catalog.CountAlbumMembers(*album) << " members)\n";
        if (depth < 64) {
            PrintAlbums(catalog, album->id, depth + 1);
        }
    }
}

} // namespace

int RunSearch(const std::vector<std::string>& args) {
    std::string query;
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            std::cout << kSearchUsage;
            return kExitOk;
        }
        query += (query.empty() ? "" : " ") + arg;
    }
    if (query.empty()) {
        return UsageError("search needs a query", kSearchUsage);
    }
    CatalogueLocation where;
    int status = kExitOk;
    std::unique_ptr<CCatalog> catalog = OpenForCommand(where, status);
    if (!catalog) {
        return status;
    }
    CFileObjectRegistry registry(where.catalogPath);
    catalog->SetRegistry(&registry);
    CFileObjectTable hits;
    catalog->QuickSearch(query, hits);
    std::sort(hits.begin(), hits.end(), [](const CFileObjectPtr& a, const CFileObjectPtr& b) {
        return a->GetFullPath() < b->GetFullPath();
    });
    for (const CFileObjectPtr& hit : hits) {
        std::cout << hit->GetFullPath() << "\n";
    }
    return kExitOk;
}

int RunShow(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            std::cout << kShowUsage;
            return kExitOk;
        }
    }
    if (args.empty()) {
        return UsageError("show needs at least one path", kShowUsage);
    }
    CatalogueLocation where;
    int status = kExitOk;
    std::unique_ptr<CCatalog> catalog = OpenForCommand(where, status);
    if (!catalog) {
        return status;
    }
    bool first = true;
    for (const std::string& arg : args) {
        const std::string path = AbsolutePath(arg);
        const size_t slash = path.rfind('/');
        AssetRecord record;
        record.fileName = path.substr(slash + 1);
        record.folderId = catalog->FindFolderId(path.substr(0, slash + 1));
        if (!catalog->LookupAsset(&record)) {
            std::cerr << "orvanta-cli: " << path << ": not in the catalogue\n";
            status = kExitNotFound;
            continue;
        }
        if (!first) {
            std::cout << "\n";
        }
        first = false;
        PrintRecord(*catalog, path, record);
    }
    return status;
}

int RunAlbums(const std::vector<std::string>& args) {
    if (!args.empty()) {
        if (IsHelp(args[0])) {
            std::cout << kAlbumsUsage;
            return kExitOk;
        }
        return UsageError("albums takes no arguments", kAlbumsUsage);
    }
    CatalogueLocation where;
    int status = kExitOk;
    std::unique_ptr<CCatalog> catalog = OpenForCommand(where, status);
    if (!catalog) {
        return status;
    }
    PrintAlbums(*catalog, 0, 0);
    return kExitOk;
}

} // namespace cli
