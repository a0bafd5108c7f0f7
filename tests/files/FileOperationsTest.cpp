#include "files/FileOperations.h"

#include "files/CachePaths.h"
#include "files/FileObjectRegistry.h"
#include "files/ThumbnailCache.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testsupport::RawColumn;

namespace {

struct Files {
    testsupport::ScopedTestHome home;
    std::string catalog = testsupport::CopyTemplateCatalog(home);
    std::string pics = home.Root() + "/pics";
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes =
        std::make_shared<platform::ScriptedMessageBoxes>();
    std::unique_ptr<CFileObjectRegistry> registry = std::make_unique<CFileObjectRegistry>(catalog);

    Files() {
        fs::create_directories(pics);
        fs::create_directories(home.Root() + "/Thumbs");
        files::SetThumbnailDir(home.Root() + "/Thumbs");
        platform::SetMessageBoxPresenter(boxes);
    }
    ~Files() { platform::SetMessageBoxPresenter(nullptr); }

    CFileObjectPtr Photo(const std::string& folder, const std::string& name,
                         const std::string& title) {
        testsupport::WriteFile(folder + "/" + name, "jpeg:" + name);
        CFileObjectPtr h =
            registry->GetFileObject(folder + "/" + name, registry->FolderIdForPath(folder), true);
        h->isimage = true;
        h->title = title;
        h->rating = 4;
        h->keywordIds = {registry->KeywordIdForName("sea")};
        registry->Catalog().InsertAsset(h.get());
        registry->Catalog().WriteKeywordLinks(h.get());
        return h;
    }
    std::string Count(const std::string& sql) const { return RawColumn(catalog, sql)[0]; }
};

} // namespace

TEST(FileOperations, CopyingIntoItsOwnFolderNamesTheCopies) {
    Files f;
    CFileObjectPtr photo = f.Photo(f.pics, "beach.jpg", "Sunny");
    EXPECT_EQ(CopyFileTo(*f.registry, photo, f.pics), 1);
    EXPECT_EQ(CopyFileTo(*f.registry, photo, f.pics + "/"), 1);
    EXPECT_EQ(MoveFileTo(*f.registry, photo, f.pics), 1) << "a move onto its own folder copies";
    EXPECT_EQ(testsupport::ReadFile(f.pics + "/beach- Copy.jpg"), "jpeg:beach.jpg");
    EXPECT_TRUE(platform::PathExists(f.pics + "/beach- Copy(1).jpg"));
    EXPECT_TRUE(platform::PathExists(f.pics + "/beach- Copy(2).jpg"));
    EXPECT_TRUE(platform::PathExists(f.pics + "/beach.jpg"));
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM image WHERE title='Sunny' AND rating=4"), "4")
        << "every copy is a new asset with its source's metadata";
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM assettokeyword"), "4");
}

TEST(FileOperations, TheReplaceQuestionGuardsAnExistingFile) {
    Files f;
    const std::string other = f.home.Root() + "/other";
    fs::create_directories(other);
    CFileObjectPtr photo = f.Photo(f.pics, "a.jpg", "mine");
    testsupport::WriteFile(other + "/a.jpg", "theirs");

    f.boxes->QueueAnswer(platform::MessageBoxAnswer::No);
    EXPECT_EQ(MoveFileTo(*f.registry, photo, other), 0);
    EXPECT_EQ(testsupport::ReadFile(other + "/a.jpg"), "theirs");
    EXPECT_TRUE(platform::PathExists(f.pics + "/a.jpg"));
    f.boxes->QueueAnswer(platform::MessageBoxAnswer::No);
    EXPECT_EQ(CopyFileTo(*f.registry, photo, other), 0);
    EXPECT_EQ(testsupport::ReadFile(other + "/a.jpg"), "theirs");
    ASSERT_EQ(f.boxes->Shown().size(), 2u);
    EXPECT_EQ(f.boxes->Shown()[0].text,
              "A file already exists with that name.\nWould you like to replace it?");
    EXPECT_EQ(f.boxes->Shown()[0].buttons, platform::MessageBoxButtons::YesNo);

    f.boxes->QueueAnswer(platform::MessageBoxAnswer::Yes);
    const std::int32_t id = photo->assetId;
    EXPECT_EQ(MoveFileTo(*f.registry, photo, other), 1);
    EXPECT_EQ(testsupport::ReadFile(other + "/a.jpg"), "jpeg:a.jpg");
    EXPECT_FALSE(platform::PathExists(f.pics + "/a.jpg"));
    EXPECT_EQ(photo->assetId, id) << "a move keeps the asset";
    EXPECT_EQ(photo->GetFullPath(), other + "/a.jpg");
    EXPECT_EQ(f.registry->GetFileObject(other + "/a.jpg", -1).get(), photo.get());
    EXPECT_EQ(testsupport::ReadFile(platform::HomeTrashDirectory() + "/files/a.jpg"), "theirs")
        << "the replaced file went to the trash";
}

TEST(FileOperations, RenamingOntoAnExistingNameFails) {
    Files f;
    CFileObjectPtr a = f.Photo(f.pics, "a.jpg", "A");
    f.Photo(f.pics, "b.jpg", "B");
    EXPECT_EQ(RenameFile(*f.registry, a, "b.jpg"), 0);
    EXPECT_EQ(testsupport::ReadFile(f.pics + "/a.jpg"), "jpeg:a.jpg");
    EXPECT_EQ(testsupport::ReadFile(f.pics + "/b.jpg"), "jpeg:b.jpg");
    EXPECT_EQ(RenameFile(*f.registry, a, "/somewhere/else/c.jpg"), 1)
        << "only the last component counts";
    EXPECT_TRUE(platform::PathExists(f.pics + "/c.jpg"));
    EXPECT_EQ(a->GetFileName(), "c.jpg");
    EXPECT_EQ(f.Count("SELECT filename FROM assets WHERE id=" + std::to_string(a->assetId)),
              "c.jpg");
    EXPECT_FALSE(a->metaModified);
}

TEST(FileOperations, MovingAFolderRepathsEverythingBelowIt) {
    Files f;
    const std::string trip = f.pics + "/trip";
    fs::create_directories(trip + "/day1/morning");
    CFileObjectPtr folder = f.registry->GetFileObject(trip, f.registry->FolderIdForPath(f.pics));
    folder->isfolder = true;
    const std::int32_t tripId = f.registry->FolderIdForPath(trip);
    CFileObjectPtr deep = f.Photo(trip + "/day1/morning", "sun.jpg", "Dawn");
    CFileObjectPtr shallow = f.Photo(trip, "map.jpg", "Map");
    const std::int32_t morningId = f.registry->FolderIdForPath(trip + "/day1/morning");

    EXPECT_EQ(RenameFile(*f.registry, folder, "holiday"), 1);
    const std::string holiday = f.pics + "/holiday";
    EXPECT_EQ(deep->GetFullPath(), holiday + "/day1/morning/sun.jpg");
    EXPECT_EQ(shallow->GetFullPath(), holiday + "/map.jpg");
    EXPECT_EQ(f.registry->FolderIdForPath(holiday), tripId) << "the folder keeps its id";
    EXPECT_EQ(deep->folderId, morningId) << "so do the folders below it";
    EXPECT_EQ(f.registry->GetFileObject(holiday + "/day1/morning/sun.jpg", -1).get(), deep.get());
    EXPECT_EQ(f.Count("SELECT path FROM folders WHERE id=" + std::to_string(morningId)),
              holiday + "/day1/morning/");

    // A later look-up of a photo below finds its catalogue row with its metadata.
    const std::int32_t deepId = deep->assetId;
    deep.Release();
    CFileObjectPtr again = f.registry->GetFileObject(
        holiday + "/day1/morning/sun.jpg", f.registry->FolderIdForPath(holiday + "/day1/morning"));
    EXPECT_EQ(again->assetId, deepId);
    EXPECT_EQ(again->title, "Dawn");
}

TEST(FileOperations, DeletingRemovesTheCacheFileOfAnImageOnly) {
    Files f;
    CFileObjectPtr photo = f.Photo(f.pics, "p.jpg", "P");
    testsupport::WriteFile(f.pics + "/notes.txt", "text");
    CFileObjectPtr notes =
        f.registry->GetFileObject(f.pics + "/notes.txt", f.registry->FolderIdForPath(f.pics));
    const std::string photoCache = thumbnails::CachePath(files::GetThumbnailDir(), photo->assetId);
    const std::string notesCache = thumbnails::CachePath(files::GetThumbnailDir(), notes->assetId);
    testsupport::WriteFile(photoCache, "png");
    testsupport::WriteFile(notesCache, "png");

    EXPECT_EQ(DeleteFile(*f.registry, photo), 0);
    EXPECT_EQ(DeleteFile(*f.registry, notes), 0);
    EXPECT_FALSE(platform::PathExists(photoCache));
    EXPECT_TRUE(platform::PathExists(notesCache));
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM assets"), "0");
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM keywords"), "1") << "keywords stay";
    EXPECT_EQ(testsupport::ReadFile(platform::HomeTrashDirectory() + "/files/p.jpg"), "jpeg:p.jpg");
    EXPECT_FALSE(platform::PathExists(f.pics + "/p.jpg"));
}

namespace {

bool OnSameFileSystem(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

// Limits the size of files this process may write while it lives.
struct FileSizeLimit {
    rlimit saved{};
    explicit FileSizeLimit(rlim_t bytes) {
        ::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing us
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved); }
};

} // namespace

TEST(FileOperations, AMoveAcrossFileSystemsKeepsTheAssetAndAFailedCopyKeepsTheSource) {
    Files f;
    const std::string other = "/tmp/orvanta-fileops-" + std::to_string(::getpid());
    if (OnSameFileSystem(f.home.Root(), "/tmp")) {
        GTEST_SKIP() << "no second file system to move across";
    }
    fs::create_directories(other);
    CFileObjectPtr photo = f.Photo(f.pics, "far.jpg", "Far");
    const std::int32_t id = photo->assetId;
    EXPECT_EQ(MoveFileTo(*f.registry, photo, other), 1);
    EXPECT_EQ(testsupport::ReadFile(other + "/far.jpg"), "jpeg:far.jpg");
    EXPECT_FALSE(platform::PathExists(f.pics + "/far.jpg"));
    EXPECT_EQ(photo->assetId, id);
    EXPECT_EQ(f.Count("SELECT folderid FROM assets WHERE id=" + std::to_string(id)),
              std::to_string(f.registry->FolderIdForPath(other)));

    // A disk that fills up during the copy: the source and its row stay.
    CFileObjectPtr big = f.Photo(f.pics, "big.jpg", "Big");
    testsupport::WriteFile(f.pics + "/big.jpg", std::string(64 * 1024, 'x'));
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(MoveFileTo(*f.registry, big, other), 0);
    }
    EXPECT_EQ(testsupport::ReadFile(f.pics + "/big.jpg").size(), 64u * 1024);
    EXPECT_FALSE(platform::PathExists(other + "/big.jpg"));
    EXPECT_EQ(big->GetFullPath(), f.pics + "/big.jpg");
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM assets WHERE filename='big.jpg'"), "1");
    fs::remove_all(other);
}
