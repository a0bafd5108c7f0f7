#include "files/FileObject.h"
#include "files/FileObjectRegistry.h"
#include "files/ThumbnailDib.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Objects for table tests come from a registry on a template catalogue.
struct Objects {
    testsupport::ScopedTestHome home;
    std::string path = testsupport::CopyTemplateCatalog(home);
    CFileObjectRegistry registry{path};

    CFileObjectPtr Make(const std::string& fullPath, bool folder = false) {
        CFileObjectPtr h = registry.GetFileObject(fullPath, -1, true);
        h->isfolder = folder;
        return h;
    }
};

} // namespace

TEST(FileObject, StartsWithTheInitialValues) {
    Objects o;
    CFileObjectPtr h = o.Make("/photos/2009/beach.jpg");
    EXPECT_EQ(h->GetFileName(), "beach.jpg");
    EXPECT_EQ(h->GetFullPath(), "/photos/2009/beach.jpg");
    EXPECT_EQ(h->rating, -1);
    EXPECT_EQ(h->width, -1);
    EXPECT_EQ(h->height, -1);
    EXPECT_EQ(h->assetId, -1);
    EXPECT_EQ(h->folderId, -1);
    EXPECT_EQ(h->GetSize(), 0u);
    EXPECT_TRUE(h->GetModified().IsNull());
    EXPECT_FALSE(h->metaModified || h->fileModified || h->isimage || h->IsDrive());
    EXPECT_EQ(h->GetThumbnail(), nullptr);
    EXPECT_TRUE(h->KeywordsText().empty());
    EXPECT_EQ(CFileObject::LastComponent("/media/card/"), "card");
}

TEST(FileObjectTable, GrowsBy64AndIgnoresBadIndices) {
    Objects o;
    CFileObjectTable table;
    EXPECT_EQ(table.Capacity(), 32u);
    table.Add(CFileObjectPtr());
    EXPECT_EQ(table.GetCount(), 0) << "a null handle is ignored";
    for (int i = 0; i < 160; ++i) {
        table.Add(o.Make("/p/" + std::to_string(i) + ".jpg"));
        if (i == 31) {
            EXPECT_EQ(table.Capacity(), 32u);
        }
        if (i == 32) {
            EXPECT_EQ(table.Capacity(), 96u) << "the 33rd element";
        }
        if (i == 96) {
            EXPECT_EQ(table.Capacity(), 160u) << "the 97th element";
        }
    }
    table.RemoveAt(-1);
    table.RemoveAt(table.GetCount());
    EXPECT_EQ(table.GetCount(), 160);
    table.RemoveAt(0);
    EXPECT_EQ(table.GetCount(), 159);
    EXPECT_EQ(table.GetAt(0)->GetFileName(), "1.jpg") << "later elements move down";
    table.Remove(o.Make("/elsewhere/5.JPG"));
    EXPECT_EQ(table.GetAt(4)->GetFileName(), "6.jpg") << "equal by name ignoring case";
    EXPECT_FALSE(table.GetAt(500));
}

TEST(FileObjectTable, STableRefusesTheSameNameFromAnotherFolder) {
    Objects o;
    CFileObjectSTable table;
    table.Add(o.Make("/a/IMG_1.jpg"));
    table.Add(o.Make("/b/img_1.JPG"));
    table.Add(o.Make("/b/img_1.JPG", true));
    EXPECT_EQ(table.GetCount(), 2) << "a folder of the same name is different";
    EXPECT_EQ(table.Find(o.Make("/c/Img_1.Jpg"))->GetFullPath(), "/a/IMG_1.jpg");
}

TEST(FileObjectTable, ClearVisitsEveryElementOfARefTableAndReleasesThem) {
    Objects o;
    CFileObjectRefTable table;
    std::vector<std::string> visited;
    table.SetElementHook([&](CFileObjectPtr h) { visited.push_back(h->GetFileName()); });
    CFileObjectPtr kept = o.Make("/x/a.jpg");
    table.Add(kept);
    table.Add(o.Make("/x/b.jpg"));
    EXPECT_EQ(kept.UseCount(), 3) << "ours, the table's and the registry's";
    table.Clear();
    EXPECT_EQ(visited, (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(kept.UseCount(), 2);
    EXPECT_EQ(table.GetCount(), 0);
    EXPECT_EQ(table.Capacity(), 32u);

    CFileObjectTable plain;
    plain.SetElementHook([&](CFileObjectPtr) { visited.push_back("plain"); });
    plain.Add(kept);
    plain.Clear();
    EXPECT_EQ(visited.size(), 2u) << "without the flag the hook is not called";
}

TEST(FileObjectTable, SortPutsFoldersFirstThenNamesIgnoringCase) {
    Objects o;
    CFileObjectTable table;
    for (const char* name : {"b.jpg", "A.jpg", "c", "_x.jpg", "a.JPG2"}) {
        table.Add(o.Make(std::string("/s/") + name, std::string(name) == "c"));
    }
    table.Add(o.Make("/s/Zed", true));
    std::sort(table.begin(), table.end(), FileObjectLess);
    std::vector<std::string> names;
    for (const auto& h : table) {
        names.push_back(h->GetFileName());
    }
    // Only A-Z fold, so '_' (0x5F) stays before the lower-case letters.
    EXPECT_EQ(names, (std::vector<std::string>{"c", "Zed", "_x.jpg", "A.jpg", "a.JPG2", "b.jpg"}));
}

TEST(ThumbnailDib, CopiesTheBitmapWithItsColourTable) {
    for (std::uint32_t bpp : {1u, 4u, 8u, 24u}) {
        CxImage image(13, 5, bpp);
        ASSERT_TRUE(image.IsValid());
        image.SetPixelIndex(12, 4, bpp == 24 ? 0 : 1);
        auto dib = ThumbnailDib::FromImage(image);
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(dib->Width(), 13);
        EXPECT_EQ(dib->header.bitCount, bpp);
        EXPECT_EQ(dib->colorTable.size(), bpp == 24 ? 0u : (1u << bpp)) << bpp;
        EXPECT_EQ(dib->Stride() % 4, 0u);
        EXPECT_EQ(dib->bits.size(), dib->Stride() * 5);
    }
    EXPECT_EQ(ThumbnailDib::FromImage(CxImage()), nullptr);
}
