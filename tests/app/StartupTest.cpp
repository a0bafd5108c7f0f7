#include "app/HarbinorApp.h"

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Settings.h"
#include "ui/ThemeColors.h"

#include "AppTestSupport.h"
#include "LoopbackHttpListener.h"
#include "TestEnv.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

std::string Scalar(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out = "<error>";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(st, 0);
            out = text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

struct StartResult {
    bool started = false;
    int updateChecks = 0;
    std::vector<platform::MessageBoxRequest> messages;
    std::string title;
    std::string workingDirectory;
    std::string catalogPath;
    std::string thumbnailDir;
};

// One start and exit of the application object, as the executable does it.
StartResult StartOnce(int updateResult = 0) {
    TestApplication();
    StartResult result;
    auto script = std::make_shared<platform::ScriptedMessageBoxes>();
    CHarbinorApp app;
    app.SetMessageBoxPresenter(script);
    app.SetUpdateCheck([&] {
        ++result.updateChecks;
        return updateResult;
    });
    result.started = app.InitInstance();
    if (app.MainWindow() != nullptr) {
        result.title = app.MainWindow()->windowTitle().toStdString();
    }
    char cwd[4096];
    result.workingDirectory = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "";
    result.catalogPath = app.GetCatalogPath();
    result.thumbnailDir = app.GetThumbnailDir();
    app.ExitInstance();
    result.messages = script->Shown();
    return result;
}

void PointFirstRunAt(const std::string& host) {
    platform::AppSettings().WriteString("", "StaticHost", host);
}

} // namespace

TEST(Startup, AFirstStartSetsUpTheAccountAndNotifiesOnce) {
    testsupport::ScopedTestHome home;
    testsupport::LoopbackHttpListener listener;
    PointFirstRunAt(listener.HostAndPort());

    StartResult first = StartOnce();
    ASSERT_TRUE(first.started);
    EXPECT_EQ(first.title, "Orvanta Photo Manager");
    EXPECT_EQ(first.updateChecks, 1) << "the stored time of a new account is long past";
    EXPECT_TRUE(first.messages.empty());

    const std::string data = home.DataHome() + "/Orvanta";
    EXPECT_EQ(first.catalogPath, data + "/db.db3");
    EXPECT_EQ(first.thumbnailDir, data + "/Thumbs");
    EXPECT_TRUE(platform::IsDirectory(first.thumbnailDir));
    EXPECT_EQ(Scalar(first.catalogPath, "SELECT MAX(version) FROM version"), "2");
    EXPECT_EQ(
        Scalar(first.catalogPath, "SELECT displayname || ',' || system FROM albums WHERE id=1"),
        "Quick Find,1");
    EXPECT_EQ(first.workingDirectory + "/", platform::ProgramDirectory());

    EXPECT_EQ(platform::AppSettings().GetInt("", "FirstRunURL", 0), 1);
    ASSERT_EQ(listener.Requests().size(), 1u);
    const std::string request = listener.Requests()[0];
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /default/firstrun HTTP/1.1");
    EXPECT_NE(request.find("User-Agent: Orvanta\r\n"), std::string::npos);
    EXPECT_EQ(g_themeColors[LIST], 0x1E1E1Eu) << "black preset";

    StartResult second = StartOnce();
    ASSERT_TRUE(second.started);
    EXPECT_EQ(second.updateChecks, 0) << "checked less than 49 hours ago";
    EXPECT_EQ(listener.Requests().size(), 1u) << "no request once FirstRunURL is 1";
}

TEST(Startup, NoListenerStillOpensTheWindowAndMarksTheNotification) {
    testsupport::ScopedTestHome home;
    int port;
    {
        testsupport::LoopbackHttpListener closed; // take a free port, then close it
        port = closed.Port();
    }
    PointFirstRunAt("127.0.0.1:" + std::to_string(port));
    StartResult run = StartOnce();
    EXPECT_TRUE(run.started);
    EXPECT_EQ(platform::AppSettings().GetInt("", "FirstRunURL", 0), 1);
}

TEST(Startup, AnInstallerStartedByTheCheckerEndsStartUpBeforeAnythingElse) {
    testsupport::ScopedTestHome home;
    StartResult run = StartOnce(1);
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.updateChecks, 1);
    EXPECT_FALSE(platform::PathExists(home.DataHome() + "/Orvanta"));
    EXPECT_EQ(platform::AppSettings().GetInt("", "FirstRunURL", 0), 0);
}

TEST(Startup, AnExistingCatalogueIsUpgradedAndFailuresAreShown) {
    struct Case {
        const char* name;
        std::string bytes;   // the catalogue file the user has
        std::string message; // "" = no message box
    };
    const Case cases[] = {
        {"random bytes", std::string(8192, '\x17'), "UNKNOWN_ERROR[26]: file is not a database"},
        {"an empty file (no tables)", "", "SQLITE_ERROR[1]: no such table: albums"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ScopedTestHome home;
        PointFirstRunAt("127.0.0.1:1");
        platform::CreateDirectories(home.DataHome() + "/Orvanta");
        const std::string catalog = home.DataHome() + "/Orvanta/db.db3";
        testsupport::WriteFile(catalog, c.bytes);
        StartResult run = StartOnce();
        EXPECT_TRUE(run.started) << "start-up always goes on";
        ASSERT_EQ(run.messages.size(), 1u);
        EXPECT_EQ(run.messages[0].text, c.message);
        EXPECT_EQ(testsupport::ReadFile(catalog).substr(0, c.bytes.size()), c.bytes)
            << "the user's file is not replaced by the template";
    }
}

TEST(Startup, ColourModeChoosesThePresetOrTheStoredColours) {
    testsupport::ScopedTestHome home;
    PointFirstRunAt("127.0.0.1:1");
    platform::AppSettings().WriteInt("", "ColorMode", 1);
    StartOnce();
    EXPECT_EQ(g_themeColors[LIST], 0x969696u);

    platform::AppSettings().WriteInt("", "ColorMode", 2);
    StartOnce();
    for (int slot = 0; slot < kThemeColorCount; ++slot) {
        EXPECT_EQ(g_themeColors[slot], 0u) << ThemeColorStem(slot) << ": nothing stored reads as 0";
    }
}
