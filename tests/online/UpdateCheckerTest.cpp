#include "online/UpdateChecker.h"

#include "CommunityServerProcess.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Settings.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

using online::CUpdateChecker;
using online::ProgramVersion;
using platform::MessageBoxAnswer;

namespace {

const std::string kInstaller = std::string("!<arch>\ndebian-binary\0\x01\x02", 24);
// sha256 of kInstaller, worked out with sha256sum.
const std::string kInstallerDigest =
    "b69cbd140ac72b8528342ad2b96d2d6fb09197fe22ea3d81d6043c096095051d";

const ProgramVersion kOwnVersion{1, 2, 3, 4};

std::string Description(const std::string& version, const std::string& notes,
                        const std::string& location,
                        const std::optional<std::string>& sha256 = std::nullopt) {
    const ProgramVersion v = online::ParseProgramVersion(version);
    std::string text = "<?xml version=\"1.0\"?>\n<update>\n<version><major>" +
                       std::to_string(v.major) + "</major><minor>" + std::to_string(v.minor) +
                       "</minor><patch>" + std::to_string(v.patch) + "</patch><build>" +
                       std::to_string(v.build) + "</build></version>\n<notes>" + notes +
                       "</notes>\n<location>" + location + "</location>\n";
    if (sha256) {
        text += "<sha256>" + *sha256 + "</sha256>\n";
    }
    return text + "</update>\n";
}

std::vector<std::string> TemporaryInstallers() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(platform::TempDirectory())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("QV")) {
            names.push_back(name);
        }
    }
    return names;
}

// A reference service with one installer, and a checker that believes it is 1.2.3.4.
class UpdateCheckerTest : public testing::Test {
protected:
    void SetUp() override {
        platform::SetMessageBoxPresenter(m_boxes);
        m_data = m_home.Root() + "/data";
        std::filesystem::create_directories(m_data + "/downloads");
        testsupport::WriteFile(m_data + "/downloads/orvanta-1.2.3.5.deb", kInstaller);
        testsupport::WriteFile(m_data + "/downloads/setup", kInstaller);
    }
    void TearDown() override { platform::SetMessageBoxPresenter(nullptr); }

    void Serve(const std::string& description) {
        testsupport::WriteFile(m_data + "/update.xml", description);
        if (!m_server) {
            m_server = std::make_unique<testsupport::CommunityServerProcess>(
                m_data, m_home.Root() + "/server.log");
        }
        ASSERT_TRUE(m_server->Started()) << m_server->Log();
    }

    int RunChecker(const std::string& endpoint) {
        CUpdateChecker checker(endpoint, kOwnVersion, [this](const std::string& path) {
            m_opened.push_back(path);
            m_openedContents.push_back(testsupport::ReadFile(path));
            return m_openerSucceeds;
        });
        const int result = checker.Run();
        m_newVersion = checker.NewVersion();
        return result;
    }
    int RunChecker() { return RunChecker(m_server->BaseUrl() + "/update.php"); }

    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& request : m_boxes->Shown()) {
            texts.push_back(request.text);
        }
        return texts;
    }

    testsupport::ScopedTestHome m_home;
    std::shared_ptr<platform::ScriptedMessageBoxes> m_boxes =
        std::make_shared<platform::ScriptedMessageBoxes>();
    std::string m_data;
    std::unique_ptr<testsupport::CommunityServerProcess> m_server;
    bool m_openerSucceeds = true;
    std::vector<std::string> m_opened;
    std::vector<std::string> m_openedContents;
    ProgramVersion m_newVersion;
};

const std::string kLocation = "{{base}}/downloads/orvanta-1.2.3.5.deb";

TEST_F(UpdateCheckerTest, OffersOnlyNewerVersions) {
    struct Case {
        const char* version;
        bool offered;
    };
    const Case cases[] = {{"1.2.3.5", true},  {"2.0.0.0", true},  {"1.2.4.0", true},
                          {"1.3.0.0", true},  {"1.2.3.4", false}, {"1.1.9.9", false},
                          {"0.9.9.9", false}, {"1.2.3.3", false}};
    for (const Case& c : cases) {
        Serve(Description(c.version, "n", kLocation));
        const std::size_t shownBefore = m_boxes->Shown().size();
        if (c.offered) {
            m_boxes->QueueAnswer(MessageBoxAnswer::No);
        }
        EXPECT_EQ(RunChecker(), 0) << c.version;
        EXPECT_EQ(m_newVersion, online::ParseProgramVersion(c.version));
        EXPECT_EQ(m_boxes->Shown().size() - shownBefore, c.offered ? 1u : 0u) << c.version;
    }
    EXPECT_TRUE(m_opened.empty()) << "No never downloads";
}

TEST_F(UpdateCheckerTest, NotesShowEachBackslashNAsALineBreak) {
    Serve(Description("1.2.3.5", "Faster start\\nA new viewer", kLocation));
    m_boxes->QueueAnswer(MessageBoxAnswer::No);
    EXPECT_EQ(RunChecker(), 0);
    const auto shown = m_boxes->Shown();
    ASSERT_EQ(shown.size(), 1u);
    const auto& box = shown[0];
    EXPECT_EQ(box.text, "There is a new version avaliable.\n\nThis version contains the following "
                        "improvements:\nFaster start\nA new viewer\n\nWould you like to upgrade?");
    EXPECT_EQ(box.buttons, platform::MessageBoxButtons::YesNo);
    EXPECT_EQ(box.caption, "Orvanta");
}

TEST_F(UpdateCheckerTest, YesDownloadsTheInstallerAndHandsItToTheOpener) {
    Serve(Description("2.0.0.0", "n", kLocation));
    m_boxes->QueueAnswer(MessageBoxAnswer::Yes);
    EXPECT_EQ(RunChecker(), 1);
    EXPECT_EQ(Messages().size(), 1u) << "the offer only";
    ASSERT_EQ(m_opened.size(), 1u);
    const std::filesystem::path path = m_opened[0];
    EXPECT_EQ(path.parent_path().string() + "/", platform::TempDirectory());
    EXPECT_TRUE(path.filename().string().starts_with("QV")) << path;
    EXPECT_EQ(path.extension(), ".deb") << "the location's extension is kept";
    EXPECT_EQ(m_openedContents[0], kInstaller);
    EXPECT_EQ(TemporaryInstallers().size(), 1u) << "no empty file is left beside it";
    const auto permissions = std::filesystem::status(path).permissions();
    EXPECT_EQ(permissions & std::filesystem::perms::owner_exec, std::filesystem::perms::none)
        << "the installer is opened, never executed";
    EXPECT_TRUE(m_server->WaitForLog("GET /downloads/orvanta-1.2.3.5.deb 200"));
}

TEST_F(UpdateCheckerTest, LocationsWithoutAUsableExtensionGetNone) {
    for (const char* location :
         {"{{base}}/downloads/setup", "{{base}}/downloads/setup?name=x.sh"}) {
        Serve(Description("2.0.0.0", "n", location));
        m_boxes->QueueAnswer(MessageBoxAnswer::Yes);
        EXPECT_EQ(RunChecker(), 1) << location;
        ASSERT_FALSE(m_opened.empty());
        EXPECT_EQ(std::filesystem::path(m_opened.back()).extension(), "") << location;
        EXPECT_EQ(m_openedContents.back(), kInstaller);
    }
}

TEST_F(UpdateCheckerTest, AnInstallerTheDesktopCannotOpenShowsError) {
    Serve(Description("2.0.0.0", "n", kLocation));
    m_openerSucceeds = false;
    m_boxes->QueueAnswer(MessageBoxAnswer::Yes);
    EXPECT_EQ(RunChecker(), 0);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[1], "Error");
    EXPECT_EQ(m_opened.size(), 1u);
}

TEST_F(UpdateCheckerTest, TheDigestDecidesWhetherTheDownloadIsKept) {
    Serve(Description("2.0.0.0", "n", kLocation, std::string(64, '0')));
    m_boxes->QueueAnswer(MessageBoxAnswer::Yes);
    EXPECT_EQ(RunChecker(), 0);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[1], "Error");
    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(TemporaryInstallers().empty()) << "a download that fails its digest is discarded";

    std::string upper = kInstallerDigest;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    Serve(Description("2.0.0.0", "n", kLocation, " " + upper + "\n"));
    m_boxes->QueueAnswer(MessageBoxAnswer::Yes);
    EXPECT_EQ(RunChecker(), 1);
    EXPECT_EQ(m_opened.size(), 1u);
}

TEST_F(UpdateCheckerTest, InstallersOffTheWebAreNeitherOfferedNorFetched) {
    for (const char* location : {"file:///etc/passwd", "ftp://127.0.0.1/setup.deb",
                                 "/tmp/setup.deb", "", "javascript:alert(1)"}) {
        Serve(Description("2.0.0.0", "n", location));
        EXPECT_EQ(RunChecker(), 0) << location;
    }
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(m_opened.empty());
}

TEST_F(UpdateCheckerTest, AFailedDownloadEndsSilently) {
    Serve(Description("2.0.0.0", "n", "{{base}}/downloads/missing.deb"));
    m_boxes->QueueAnswer(MessageBoxAnswer::Yes);
    EXPECT_EQ(RunChecker(), 0);
    EXPECT_EQ(Messages().size(), 1u) << "the offer, then nothing";
    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(TemporaryInstallers().empty());
}

TEST_F(UpdateCheckerTest, AnythingButAnUpdateDescriptionIsIgnored) {
    for (const std::string& body :
         {std::string("<html><body>Not here</body></html>"), std::string(),
          std::string("\xff\xfe<\0u\0", 6), std::string("<update><version>"),
          std::string("<other><update/></other>")}) {
        Serve(body);
        EXPECT_EQ(RunChecker(), 0);
    }
    std::filesystem::remove(m_data + "/update.xml");
    EXPECT_EQ(RunChecker(), 0) << "404";
    EXPECT_TRUE(Messages().empty());
}

TEST_F(UpdateCheckerTest, NoServerListeningMeansNoMessage) {
    // A port that was free a moment ago has nothing listening on it.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    const int port = ntohs(address.sin_port);

    EXPECT_EQ(RunChecker("http://127.0.0.1:" + std::to_string(port) + "/update.php"), 0);
    EXPECT_TRUE(Messages().empty());
}

TEST(UpdateEndpoint, TheSettingOverridesTheBuiltInAddress) {
    testsupport::ScopedTestHome home;
    EXPECT_EQ(online::UpdateEndpoint(), ORVANTA_UPDATE_URL);
    ASSERT_TRUE(platform::AppSettings().WriteString("", "UpdateURL", "http://127.0.0.1:1/u.php"));
    EXPECT_EQ(online::UpdateEndpoint(), "http://127.0.0.1:1/u.php");
}

TEST(ProgramVersion, ReadFromTheProjectVersion) {
    EXPECT_EQ(online::OwnProgramVersion(), online::ParseProgramVersion(ORVANTA_PROGRAM_VERSION));
    EXPECT_EQ(online::ParseProgramVersion("1.0.0.1"), (ProgramVersion{1, 0, 0, 1}));
    EXPECT_EQ(online::ParseProgramVersion("3.2"), (ProgramVersion{3, 2, 0, 0}));
    EXPECT_EQ(online::ParseProgramVersion("65537.x.7"), (ProgramVersion{1, 0, 7, 0}))
        << "parts are decimal integers kept as 16 bits";
    EXPECT_LT((ProgramVersion{1, 2, 3, 4}), (ProgramVersion{1, 2, 4, 0}));
}

// Puts a stand-in xdg-open first on PATH for the length of a test.
class ScopedFakeXdgOpen {
public:
    ScopedFakeXdgOpen(const std::string& directory, int exitCode) : m_record(directory + "/args") {
        std::filesystem::create_directories(directory);
        const std::string script = directory + "/xdg-open";
        testsupport::WriteFile(script,
                               "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                   m_record + "'\nexit " + std::to_string(exitCode) + "\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        const char* path = std::getenv("PATH");
        m_oldPath = path != nullptr ? path : "";
        setenv("PATH", (directory + ":" + m_oldPath).c_str(), 1);
    }
    ~ScopedFakeXdgOpen() { setenv("PATH", m_oldPath.c_str(), 1); }

    // One line per argument xdg-open was given.
    std::string Arguments() const { return testsupport::ReadFile(m_record); }

private:
    std::string m_record;
    std::string m_oldPath;
};

TEST(OpenWithDesktop, HandsTheFileToXdgOpenAsOneArgument) {
    testsupport::ScopedTestHome home;
    const std::string file = home.Temp() + "/QV name with 'quotes'.deb";
    testsupport::WriteFile(file, "x");
    {
        ScopedFakeXdgOpen opener(home.Root() + "/bin-ok", 0);
        EXPECT_TRUE(online::OpenWithDesktop(file));
        EXPECT_EQ(opener.Arguments(), file + "\n");
    }
    {
        ScopedFakeXdgOpen opener(home.Root() + "/bin-fail", 4);
        EXPECT_FALSE(online::OpenWithDesktop(file)) << "no handler for the type";
    }
    const char* path = std::getenv("PATH");
    const std::string oldPath = path != nullptr ? path : "";
    setenv("PATH", home.Root().c_str(), 1);
    EXPECT_FALSE(online::OpenWithDesktop(file)) << "no xdg-open at all";
    setenv("PATH", oldPath.c_str(), 1);
}

TEST_F(UpdateCheckerTest, StartUpEntryPointUsesTheSettingAndTheDesktop) {
    Serve(Description("99.0.0.0", "n", kLocation));
    ASSERT_TRUE(
        platform::AppSettings().WriteString("", "UpdateURL", m_server->BaseUrl() + "/update.php"));
    ScopedFakeXdgOpen opener(m_home.Root() + "/bin", 0);
    m_boxes->QueueAnswer(MessageBoxAnswer::Yes);
    EXPECT_EQ(online::RunUpdateCheck(), 1);
    const std::string opened = opener.Arguments();
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(testsupport::ReadFile(opened.substr(0, opened.size() - 1)), kInstaller);
}

} // namespace
