#include "platform/Paths.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Starts the real program in the test's HOME and returns its process id.
pid_t StartProgram() {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const std::string exe = testsupport::BinDir() + "/orvanta";
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

} // namespace

TEST(CrashReport, AFatalSignalLeavesOneReportWithTheSignalAndABacktrace) {
    testsupport::ScopedTestHome home;
    // No first-run request leaves the machine.
    platform::CreateDirectories(home.ConfigHome() + "/Orvanta");
    testsupport::WriteFile(home.ConfigHome() + "/Orvanta/Orvanta.conf",
                           "StaticHost=127.0.0.1:1\nUpdateURL=http://127.0.0.1:1/update.php\n");

    pid_t pid = StartProgram();
    ASSERT_GT(pid, 0);
    // The thumbnail folder appears well after the handler is installed.
    const std::string thumbs = home.DataHome() + "/Orvanta/Thumbs";
    for (int i = 0; i < 600 && !platform::IsDirectory(thumbs); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(platform::IsDirectory(thumbs)) << "the program did not start";
    ASSERT_EQ(kill(pid, SIGSEGV), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV) << "the process still ends by its signal";

    const std::string dir = home.Temp() + "/AppName";
    std::vector<std::string> reports;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        reports.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(reports.size(), 1u);
    const std::regex name("v1\\.0-\\d{8}-\\d{6}-" + std::to_string(pid) + "-\\d+\\.dmp");
    EXPECT_TRUE(std::regex_match(reports[0], name)) << reports[0];
    const std::string report = testsupport::ReadFile(dir + "/" + reports[0]);
    EXPECT_NE(report.find("signal: 11 SIGSEGV"), std::string::npos);
    EXPECT_NE(report.find("backtrace:\n"), std::string::npos);
    EXPECT_NE(report.find("orvanta"), std::string::npos) << "the frames name the executable";
    EXPECT_NE(report.find("memory map:\n"), std::string::npos);
}
