#include "files/FileOperations.h"

#include "catalogue/Catalog.h"
#include "files/CachePaths.h"
#include "files/FileObjectRegistry.h"
#include "files/ThumbnailCache.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <cstdio>
#include <functional>

namespace {

using FolderIdLookup = std::function<std::int32_t(const std::string&)>;

std::string ParentFolder(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool AskToReplace() {
    return platform::ShowMessageBox(kReplaceQuestion, platform::MessageBoxButtons::YesNo,
                                    platform::MessageBoxIcon::Question) ==
           platform::MessageBoxAnswer::Yes;
}

// Deletes the file already at `path` (through its own object) once the user agreed.
bool ReplaceExisting(CFileObjectRegistry& registry, const std::string& folder,
                     const std::string& path) {
    if (!platform::PathExists(path)) {
        return true;
    }
    if (!AskToReplace()) {
        return false;
    }
    CFileObjectPtr existing = registry.GetFileObject(path, registry.FolderIdForPath(folder));
    DeleteFile(registry, existing);
    return true;
}

void Relocate(CFileObjectRegistry& registry, const CFileObjectPtr& object,
              const std::string& oldPath, const std::string& newPath,
              const FolderIdLookup& folderIdFor) {
    object->SetFullPath(newPath);
    object->fileName = CFileObject::LastComponent(newPath);
    object->timescanned = DateTime::Now();
    registry.RekeyFileObject(oldPath, newPath);
    object->folderId = folderIdFor(ParentFolder(newPath));
    if (object->isfolder) {
        registry.RekeyFolder(oldPath, newPath);
    }
}

int MoveCoreUsing(CFileObjectRegistry& registry, CCatalog& catalog, const CFileObjectPtr& object,
                  const std::string& oldPath, const std::string& newPath, bool replace,
                  const FolderIdLookup& folderIdFor) {
    if (!object || !platform::MoveFileOrFolder(oldPath, newPath, replace)) {
        return 0;
    }
    const std::int32_t movedFolderId =
        object->isfolder ? folderIdFor(CFileObjectRegistry::NormaliseFolderPath(oldPath)) : -1;
    Relocate(registry, object, oldPath, newPath, folderIdFor);
    catalog.SaveAsset(object.get());
    if (object->isfolder) {
        const std::string from = CFileObjectRegistry::NormaliseFolderPath(oldPath);
        const std::string to = CFileObjectRegistry::NormaliseFolderPath(newPath);
        catalog.UpdateFolderPath(movedFolderId, to);
        // Folders further down keep their rows too, so their photos keep
        // their metadata, albums and keywords.
        catalog.RepathFoldersBelow(from, to);
        for (const CFileObjectPtr& below : registry.LiveObjectsBelow(from)) {
            const std::string path = below->GetFullPath();
            Relocate(registry, below, path, to + path.substr(from.size()), folderIdFor);
        }
    }
    object->metaModified = false;
    object->fileModified = false;
    return 1;
}

// "<folder><stem>- Copy<ext>", then "- Copy(1)", "- Copy(2)" ... until free.
std::string FreeCopyName(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : std::string();
    std::string candidate = stem + "- Copy" + extension;
    for (int n = 1; platform::PathExists(candidate); ++n) {
        candidate = stem + "- Copy(" + std::to_string(n) + ")" + extension;
    }
    return candidate;
}

void CopyMetadata(const CFileObject& from, CFileObject& to) {
    to.description = from.description;
    to.artist = from.artist;
    to.title = from.title;
    to.copyright = from.copyright;
    to.usercomment = from.usercomment;
    to.rating = from.rating;
    to.equipmake = from.equipmake;
    to.equipmodel = from.equipmodel;
    to.orientation = from.orientation;
    to.datetaken = from.datetaken;
    to.exposuretime = from.exposuretime;
    to.fnumber = from.fnumber;
    to.exposureprog = from.exposureprog;
    to.isospeed = from.isospeed;
    to.shutterspeed = from.shutterspeed;
    to.aperture = from.aperture;
    to.brightness = from.brightness;
    to.exposurebios = from.exposurebios;
    to.maxaperture = from.maxaperture;
    to.meteringmode = from.meteringmode;
    to.lightsource = from.lightsource;
    to.flash = from.flash;
    to.focallength = from.focallength;
    to.makernote = from.makernote;
    to.keywordIds = from.keywordIds;
    to.SetSize(from.GetSize());
    to.SetCreated(from.GetCreated());
    to.SetModified(from.GetModified());
    to.SetAccessed(from.GetAccessed());
    to.isfolder = from.isfolder;
    to.SetHidden(from.IsHidden());
    to.SetSystem(from.IsSystem());
    to.SetReadOnly(from.IsReadOnly());
    to.isimage = from.isimage;
    to.SetDrive(from.IsDrive());
    to.width = from.width;
    to.height = from.height;
    to.type = from.type;
}

} // namespace

int DeleteFile(CFileObjectRegistry& registry, const CFileObjectPtr& object) {
    if (!object) {
        return 0;
    }
    if (object->isimage && object->assetId != -1) {
        std::remove(thumbnails::CachePath(files::GetThumbnailDir(), object->assetId).c_str());
    }
    registry.Catalog().DeleteAsset(object.get());
    // Into the trash, so the user can take it back; when there is no trash
    // the file stays where it is rather than being destroyed.
    platform::MoveToTrash(object->GetFullPath());
    return 0;
}

int RenameFile(CFileObjectRegistry& registry, const CFileObjectPtr& object,
               const std::string& newName) {
    if (!object) {
        return 0;
    }
    const std::string name = CFileObject::LastComponent(newName);
    if (name.empty() || name == "." || name == "..") {
        return 0;
    }
    const std::string oldPath = object->GetFullPath();
    return MoveCore(registry, object, oldPath, ParentFolder(oldPath) + name, false);
}

int MoveFileTo(CFileObjectRegistry& registry, const CFileObjectPtr& object,
               const std::string& folder) {
    if (!object) {
        return 0;
    }
    const std::string destination = platform::JoinPath(folder, object->GetFileName());
    if (destination == object->GetFullPath()) {
        return CopyFileTo(registry, object, folder);
    }
    if (!ReplaceExisting(registry, folder, destination)) {
        return 0;
    }
    const std::string source = object->GetFullPath();
    return MoveCore(registry, object, source, destination, true);
}

int CopyFileTo(CFileObjectRegistry& registry, const CFileObjectPtr& object,
               const std::string& folder) {
    if (!object || object->isfolder) {
        return 0;
    }
    const std::string source = object->GetFullPath();
    std::string destination = platform::JoinPath(folder, object->GetFileName());
    if (destination == source) {
        destination = FreeCopyName(destination);
    } else if (!ReplaceExisting(registry, folder, destination)) {
        return 0;
    }
    if (!platform::CopyFileReplacing(source, destination)) {
        return 0;
    }
    CFileObjectPtr copy =
        registry.GetFileObject(destination, registry.FolderIdForPath(ParentFolder(destination)));
    CopyMetadata(*object, *copy);
    registry.Catalog().SaveAsset(copy.get());
    return 1;
}

int MoveCore(CFileObjectRegistry& registry, const CFileObjectPtr& object,
             const std::string& oldPath, const std::string& newPath, bool replace) {
    return MoveCoreUsing(registry, registry.Catalog(), object, oldPath, newPath, replace,
                         [&registry](const std::string& f) { return registry.FolderIdForPath(f); });
}

int MoveCoreWith(CFileObjectRegistry& registry, CCatalog& catalog, const CFileObjectPtr& object,
                 const std::string& oldPath, const std::string& newPath, bool replace) {
    return MoveCoreUsing(
        registry, catalog, object, oldPath, newPath, replace, [&catalog](const std::string& f) {
            return catalog.LookupFolderId(CFileObjectRegistry::NormaliseFolderPath(f));
        });
}

void RelocateFileObject(CFileObjectRegistry& registry, const CFileObjectPtr& object,
                        const std::string& oldPath, const std::string& newPath) {
    Relocate(registry, object, oldPath, newPath,
             [&registry](const std::string& f) { return registry.FolderIdForPath(f); });
}
