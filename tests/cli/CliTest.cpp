#include "imaging/Image.h"

#include "TestEnv.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct CliRun {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// Runs orvanta-cli with the arguments; with `signal`, sends it once the
// catalogue holds at least `afterAssets` assets.
CliRun Cli(const std::vector<std::string>& args, int signal = 0, int afterAssets = 0,
           const std::string& catalog = "") {
    int out[2], err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    pid_t pid = fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        const std::string exe = testsupport::BinDir() + "/orvanta-cli";
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (signal != 0) {
        std::thread([=] {
            for (int i = 0; i < 3000; ++i) {
                sqlite3* db = nullptr;
                int count = 0;
                if (sqlite3_open_v2(catalog.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
                    SQLITE_OK) {
                    sqlite3_exec(
                        db, "SELECT COUNT(*) FROM assets",
                        [](void* c, int, char** v, char**) {
                            *static_cast<int*>(c) = v[0] ? std::atoi(v[0]) : 0;
                            return 0;
                        },
                        &count, nullptr);
                }
                sqlite3_close(db);
                if (count >= afterAssets) {
                    break;
                }
                std::this_thread::sleep_for(5ms);
            }
            ::kill(pid, signal);
        }).detach();
    }
    CliRun run;
    run.out = ReadAll(out[0]);
    run.err = ReadAll(err[0]);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::string Scalar(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string value = "<error>";
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
        sqlite3_exec(
            db, sql.c_str(),
            [](void* v, int, char** values, char**) {
                *static_cast<std::string*>(v) = values[0] ? values[0] : "NULL";
                return 0;
            },
            &value, nullptr);
    }
    sqlite3_close(db);
    return value;
}

struct Collection {
    testsupport::ScopedTestHome home;
    std::string pics = home.Root() + "/pics";
    std::string catalog = home.DataHome() + "/Orvanta/db.db3";

    Collection() {
        Picture(pics + "/beach.png", 300, 200);
        Picture(pics + "/2009/sea.png", 50, 40);
        testsupport::WriteFile(pics + "/notes.txt", "text");
        testsupport::WriteFile(pics + "/broken.jpg", "\xFF\xD8\xFF\xE0 not really a jpeg");
    }
    static void Picture(const std::string& path, std::uint32_t w, std::uint32_t h) {
        fs::create_directories(fs::path(path).parent_path());
        CxImage image(w, h, 24);
        ASSERT_TRUE(image.SaveFile(path, imaging::kFormatPng));
    }
};

} // namespace

TEST(Cli, CommandLinesAndTheirExitStatus) {
    Collection c;
    ASSERT_EQ(Cli({"index", c.pics}).status, 0);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out; // a regular expression the whole output must match
        const char* err;
    };
    const Case cases[] = {
        {{}, 1, "", "usage: orvanta-cli COMMAND[\\s\\S]*"},
        {{"--help"}, 0, "usage: orvanta-cli COMMAND[\\s\\S]*", ""},
        {{"frobnicate"}, 1, "", "orvanta-cli: unknown command 'frobnicate'\n[\\s\\S]*"},
        {{"index", "--help"}, 0, "usage: orvanta-cli index[\\s\\S]*", ""},
        {{"index"}, 1, "", "orvanta-cli: index needs at least one folder\n[\\s\\S]*"},
        {{"index", c.home.Root() + "/missing"},
         1,
         "",
         "orvanta-cli: '.*missing' is not a folder\n[\\s\\S]*"},
        {{"index", "--bogus", c.pics}, 1, "", "orvanta-cli: unknown option '--bogus'\n[\\s\\S]*"},
        {{"search"}, 1, "", "orvanta-cli: search needs a query\n[\\s\\S]*"},
        {{"search", "beach"}, 0, ".*/pics/beach.png\n", ""},
        {{"search", "filename:sea", "rating:>4"}, 0, ".*/pics/2009/sea.png\n", ""},
        {{"search", "nothing-like-this"}, 0, "", ""},
        {{"show", c.pics + "/beach.png"},
         0,
         "path: .*/pics/beach.png\nasset id: \\d+\nfolder id: \\d+\nkind: image\n[\\s\\S]*width: "
         "300\nheight: 200\n[\\s\\S]*",
         ""},
        {{"show", c.pics + "/nope.png"},
         3,
         "",
         "orvanta-cli: .*/pics/nope.png: not in the catalogue\n"},
        {{"show"}, 1, "", "orvanta-cli: show needs at least one path\n[\\s\\S]*"},
        {{"albums"}, 0, "1  Quick Find  \\(system, 2 members\\)\n  2  Recently Added[\\s\\S]*", ""},
        {{"albums", "extra"}, 1, "", "orvanta-cli: albums takes no arguments\n[\\s\\S]*"},
    };
    for (const Case& k : cases) {
        std::string line;
        for (const auto& a : k.args) {
            line += a + " ";
        }
        SCOPED_TRACE(line);
        CliRun run = Cli(k.args);
        EXPECT_EQ(run.status, k.status);
        EXPECT_TRUE(std::regex_match(run.out, std::regex(k.out))) << run.out;
        EXPECT_TRUE(std::regex_match(run.err, std::regex(k.err))) << run.err;
    }
}

TEST(Cli, IndexingTwiceRecordsEachFileOnceAndPicksUpNewOnes) {
    Collection c;
    // Written well before the scan: a file changed in the second it was read
    // counts as changed again on the next run.
    for (const auto& entry : fs::recursive_directory_iterator(c.pics)) {
        fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - 1h);
    }
    CliRun first = Cli({"index", "--failures", c.pics});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("files seen: 4\nnew pictures: 2\nupdated: 0\nfailed: 1\n"),
              std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("failed: " + c.pics + "/broken.jpg: "), std::string::npos)
        << "a picture that does not decode is reported and the run goes on";
    EXPECT_EQ(Scalar(c.catalog, "SELECT COUNT(*) FROM assets"), "5") << "4 files and a folder";

    Collection::Picture(c.pics + "/2009/new.png", 10, 10);
    fs::last_write_time(c.pics + "/2009/new.png", fs::file_time_type::clock::now() - 1h);
    CliRun second = Cli({"index", c.pics});
    ASSERT_EQ(second.status, 0);
    EXPECT_NE(second.out.find("files seen: 5\nnew pictures: 1\nupdated: 0\n"), std::string::npos)
        << second.out;
    EXPECT_EQ(Scalar(c.catalog, "SELECT COUNT(*) FROM assets"), "6");
    EXPECT_EQ(Scalar(c.catalog, "SELECT COUNT(*) FROM (SELECT folderid, filename FROM assets "
                                "GROUP BY folderid, filename HAVING COUNT(*) > 1)"),
              "0");
    EXPECT_EQ(std::distance(fs::directory_iterator(c.home.DataHome() + "/Orvanta/Thumbs"),
                            fs::directory_iterator()),
              3)
        << "one cache file per picture";
}

TEST(Cli, AnInterruptStopsAfterTheCurrentFileWithTheCatalogueIntact) {
    Collection c;
    for (int i = 0; i < 400; ++i) {
        Collection::Picture(c.pics + "/many/p" + std::to_string(i) + ".png", 40, 30);
    }
    ASSERT_EQ(Cli({"albums"}).status, 0); // makes the catalogue
    CliRun run = Cli({"index", c.pics}, SIGINT, 50, c.catalog);
    ASSERT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("interrupted"), std::string::npos);
    EXPECT_NE(run.out.find("files seen: "), std::string::npos) << "the summary is still printed";
    EXPECT_EQ(Scalar(c.catalog, "PRAGMA integrity_check"), "ok");
    const int recorded = std::stoi(Scalar(c.catalog, "SELECT COUNT(*) FROM assets"));
    EXPECT_GE(recorded, 50);
    EXPECT_LT(recorded, 400) << "it stopped early";
}

TEST(Cli, KillingAnIndexingRunLeavesASoundCatalogue) {
    Collection c;
    fs::create_directories(c.pics + "/files");
    for (int i = 0; i < 1500; ++i) {
        testsupport::WriteFile(c.pics + "/files/f" + std::to_string(i) + ".dat", "x");
    }
    ASSERT_EQ(Cli({"index", c.pics + "/2009"}).status, 0);
    const std::string before = Scalar(
        c.catalog, "SELECT group_concat(id || filename) FROM (SELECT * FROM assets ORDER BY id)");
    for (int kill = 0; kill < 3; ++kill) {
        CliRun run = Cli({"index", c.pics}, SIGKILL, 100 + kill * 300, c.catalog);
        EXPECT_EQ(run.status, 128 + SIGKILL);
        EXPECT_EQ(Scalar(c.catalog, "PRAGMA integrity_check"), "ok");
        const std::string after =
            Scalar(c.catalog, "SELECT group_concat(id || filename) FROM (SELECT * FROM assets "
                              "ORDER BY id)");
        EXPECT_EQ(after.substr(0, before.size()), before) << "every row from before is still there";
    }
}
