#include "TestEnv.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {
namespace {

constexpr const char* kVariables[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                      "TMPDIR"};

std::string EnvOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

} // namespace

namespace {

// Test homes live in memory where the machine has it, so catalogue commits
// do not wait on the disk; ORVANTA_TEST_TMP chooses another place.
std::string TestBase() {
    if (const char* chosen = std::getenv("ORVANTA_TEST_TMP")) {
        return chosen;
    }
    if (access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return EnvOr("TMPDIR", "/tmp");
}

} // namespace

ScopedTestHome::ScopedTestHome() {
    std::string base = TestBase();
    std::string pattern = base + "/orvanta-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_root = buffer.data();
    for (const char* name : kVariables) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old != nullptr ? std::string(old) : std::string(1, '\0'));
    }
    std::filesystem::create_directories(Home());
    std::filesystem::create_directories(Temp());
    setenv("HOME", Home().c_str(), 1);
    setenv("XDG_DATA_HOME", DataHome().c_str(), 1);
    setenv("XDG_CONFIG_HOME", ConfigHome().c_str(), 1);
    setenv("XDG_CACHE_HOME", (Home() + "/.cache").c_str(), 1);
    setenv("TMPDIR", Temp().c_str(), 1);
}

ScopedTestHome::~ScopedTestHome() {
    for (const auto& [name, value] : m_saved) {
        if (value == std::string(1, '\0')) {
            unsetenv(name.c_str());
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string SourceDir() {
    return EnvOr("ORVANTA_SOURCE_DIR", ORVANTA_SOURCE_DIR);
}

std::string BinDir() {
    return EnvOr("ORVANTA_BIN_DIR", ORVANTA_BIN_DIR);
}

std::string SharedTestData(const std::string& relative) {
    return SourceDir() + "/../shared/testdata/" + relative;
}

std::string ProjectTestData(const std::string& relative) {
    return SourceDir() + "/tests/data/" + relative;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

} // namespace testsupport
