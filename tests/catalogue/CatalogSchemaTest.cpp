#include "catalogue/Catalog.h"

#include "platform/MessageBox.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

using testsupport::RawColumn;
using testsupport::RawExec;

namespace {

// The tables as an earlier program version shipped them: no serverprivacy
// column and no version row.
constexpr const char* kVersion0 = R"sql(
CREATE TABLE folders (id INTEGER PRIMARY KEY, path TEXT);
CREATE TABLE assets (id INTEGER PRIMARY KEY, folderid INTEGER, filename TEXT, isfolder INTEGER,
    isimage INTEGER, timesynced TEXT, timescanned TEXT, ismetamodified INTEGER,
    isfilemodified INTEGER, uniquehash TEXT);
CREATE TABLE albums (id INTEGER PRIMARY KEY, title TEXT, description TEXT, displayname TEXT,
    parentalbum INTEGER, browseable INTEGER, auto INTEGER, system INTEGER, search TEXT,
    ispublished INTEGER, ismodified INTEGER);
CREATE TABLE version (version INTEGER);
INSERT INTO albums (id, title, displayname, parentalbum, system, search)
    VALUES (1, 'Find', 'Find', 0, 1, 'SELECT id FROM assets'), (2, 'Trip', 'Trip', 0, 0, '');
)sql";

struct UpgradeRun {
    bool result;
    std::vector<platform::MessageBoxRequest> shown;
};

UpgradeRun Upgrade(const std::string& path) {
    auto script = std::make_shared<platform::ScriptedMessageBoxes>();
    platform::SetMessageBoxPresenter(script);
    UpgradeRun run{false, {}};
    {
        CCatalog catalog(path);
        if (catalog.OpenMain()) {
            run.result = catalog.UpgradeSchema();
        }
    }
    platform::SetMessageBoxPresenter(nullptr);
    run.shown = script->Shown();
    return run;
}

} // namespace

TEST(UpgradeSchema, TheTemplateIsAtVersionTwoAndIsLeftAlone) {
    testsupport::ScopedTestHome home;
    const std::string path = testsupport::CopyTemplateCatalog(home);
    UpgradeRun run = Upgrade(path);
    EXPECT_FALSE(run.result);
    EXPECT_TRUE(run.shown.empty());
    EXPECT_EQ(RawColumn(path, "SELECT version FROM version"), std::vector<std::string>{"2"});
    EXPECT_EQ(RawColumn(path, "SELECT displayname || '/' || system FROM albums WHERE id=1"),
              std::vector<std::string>{"Quick Find/1"});
    EXPECT_EQ(RawColumn(path, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
}

TEST(UpgradeSchema, VersionZeroGainsTheColumnTheNameAndTheRow) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Root() + "/v0.db3";
    RawExec(path, kVersion0);
    UpgradeRun run = Upgrade(path);
    EXPECT_TRUE(run.result);
    EXPECT_TRUE(run.shown.empty());
    EXPECT_EQ(RawColumn(path, "SELECT serverprivacy FROM albums ORDER BY id"),
              (std::vector<std::string>{"0", "0"}));
    EXPECT_EQ(RawColumn(path, "SELECT displayname FROM albums ORDER BY id"),
              (std::vector<std::string>{"Quick Find", "Trip"}));
    EXPECT_EQ(RawColumn(path, "SELECT version FROM version"), std::vector<std::string>{"2"});

    EXPECT_FALSE(Upgrade(path).result) << "a second start changes nothing";
    EXPECT_EQ(RawColumn(path, "SELECT COUNT(*) FROM version"), std::vector<std::string>{"1"});
}

TEST(UpgradeSchema, VersionOneOnlyGetsTheNameAndTheRow) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Root() + "/v1.db3";
    RawExec(path, kVersion0);
    RawExec(path, "ALTER TABLE albums ADD COLUMN serverprivacy integer NOT NULL DEFAULT 3;"
                  "INSERT INTO version VALUES (1);");
    UpgradeRun run = Upgrade(path);
    EXPECT_TRUE(run.result);
    EXPECT_TRUE(run.shown.empty());
    EXPECT_EQ(RawColumn(path, "SELECT serverprivacy FROM albums WHERE id=1"),
              std::vector<std::string>{"3"});
    EXPECT_EQ(RawColumn(path, "SELECT displayname FROM albums WHERE id=1"),
              std::vector<std::string>{"Quick Find"});
    EXPECT_EQ(RawColumn(path, "SELECT MAX(version) FROM version"), std::vector<std::string>{"2"});
}

TEST(UpgradeSchema, AnAlbumOneThatIsNotASystemAlbumKeepsItsName) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Root() + "/v0user.db3";
    RawExec(path, kVersion0);
    RawExec(path, "UPDATE albums SET system=0 WHERE id=1");
    EXPECT_TRUE(Upgrade(path).result);
    EXPECT_EQ(RawColumn(path, "SELECT displayname FROM albums WHERE id=1"),
              std::vector<std::string>{"Find"});
}

TEST(UpgradeSchema, FailuresAreShownAndTheStatementsBeforeStayDone) {
    struct Case {
        const char* name;
        std::string setup;   // run on a new file first ("" = leave it empty)
        std::string bytes;   // or: raw file content
        std::string message; // the message box text
    };
    const Case cases[] = {
        {"missing file", "", "", "SQLITE_ERROR[1]: no such table: albums"},
        {"no albums table", "CREATE TABLE version (version INTEGER);", "",
         "SQLITE_ERROR[1]: no such table: albums"},
        {"no version table",
         "CREATE TABLE albums (id INTEGER PRIMARY KEY, displayname TEXT, system INTEGER);", "",
         "SQLITE_ERROR[1]: no such table: version"},
        {"random bytes", "", std::string(4096, '\x5a') + "not a database",
         "UNKNOWN_ERROR[26]: file is not a database"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ScopedTestHome home;
        const std::string path = home.Root() + "/bad.db3";
        if (!c.setup.empty()) {
            RawExec(path, c.setup);
        }
        if (!c.bytes.empty()) {
            testsupport::WriteFile(path, c.bytes);
        }
        UpgradeRun run = Upgrade(path);
        EXPECT_FALSE(run.result);
        ASSERT_EQ(run.shown.size(), 1u);
        EXPECT_EQ(run.shown[0].text, c.message);
        EXPECT_EQ(run.shown[0].buttons, platform::MessageBoxButtons::Ok);
    }
}

TEST(UpgradeSchema, AFailureAfterTheNewColumnRepeatsFromVersionZeroNextTime) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Root() + "/noversion.db3";
    RawExec(path,
            "CREATE TABLE albums (id INTEGER PRIMARY KEY, displayname TEXT, system INTEGER);");
    Upgrade(path);
    EXPECT_EQ(
        RawColumn(path,
                  "SELECT COUNT(*) FROM pragma_table_info('albums') WHERE name='serverprivacy'"),
        std::vector<std::string>{"1"});
    UpgradeRun second = Upgrade(path);
    ASSERT_EQ(second.shown.size(), 1u);
    EXPECT_EQ(second.shown[0].text, "SQLITE_ERROR[1]: duplicate column name: serverprivacy");
}

TEST(Catalog, ConstructorOpensTheSearchConnectionOpenMainTheOther) {
    testsupport::ScopedTestHome home;
    const std::string path = testsupport::CopyTemplateCatalog(home);
    CCatalog catalog(path);
    EXPECT_TRUE(catalog.SearchDb().IsOpen());
    EXPECT_FALSE(catalog.MainDb().IsOpen());
    ASSERT_TRUE(catalog.OpenMain());
    EXPECT_TRUE(catalog.MainDb().IsOpen());
    EXPECT_TRUE(catalog.SearchDb().Query("PRAGMA synchronous").ColumnInt(0) == 0);
    EXPECT_EQ(catalog.MainDb().Query("PRAGMA synchronous").ColumnInt(0), 2)
        << "the main connection keeps the default full mode";

    CCatalog nowhere(home.Root() + "/no/such/dir/db.db3");
    EXPECT_FALSE(nowhere.SearchDb().IsOpen());
    EXPECT_FALSE(nowhere.OpenMain());
}
