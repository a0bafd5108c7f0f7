#pragma once

// Test helpers: a private HOME with its XDG folders and TMPDIR for the length
// of a test, and the locations of test data.

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Makes a fresh temporary directory and points HOME, XDG_DATA_HOME,
// XDG_CONFIG_HOME, XDG_CACHE_HOME and TMPDIR below it; restores the old
// environment and removes the directory when it goes.
class ScopedTestHome {
public:
    ScopedTestHome();
    ~ScopedTestHome();
    ScopedTestHome(const ScopedTestHome&) = delete;
    ScopedTestHome& operator=(const ScopedTestHome&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Home() const { return m_root + "/home"; }
    std::string DataHome() const { return m_root + "/home/.local/share"; }
    std::string ConfigHome() const { return m_root + "/home/.config"; }
    std::string Temp() const { return m_root + "/tmp"; }

private:
    std::string m_root;
    std::vector<std::pair<std::string, std::string>> m_saved; // name, old value ("\0" = unset)
};

// The project's source root (the environment's ORVANTA_SOURCE_DIR overrides the build's).
std::string SourceDir();
// Where the built executables and resources are (ORVANTA_BIN_DIR likewise).
std::string BinDir();
// ../shared/testdata/<relative> beside the project.
std::string SharedTestData(const std::string& relative);
// tests/data/<relative> in the project.
std::string ProjectTestData(const std::string& relative);

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);

} // namespace testsupport
