#pragma once

// CUpdateChecker: asks the update endpoint whether a newer version of the
// program exists and, when the user agrees, downloads the installer into a
// temporary file and hands it to the desktop to open. Start-up creates one,
// runs it once on the user-interface thread before any window exists, and
// ends when it returns 1.

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace online {

struct ProgramVersion {
    std::uint16_t major = 0, minor = 0, patch = 0, build = 0;
    auto operator<=>(const ProgramVersion&) const = default;
};

// "major.minor.patch.build"; missing parts are 0.
ProgramVersion ParseProgramVersion(std::string_view text);
// The version this program was built as.
ProgramVersion OwnProgramVersion();

// The update endpoint: the setting "UpdateURL" when set, else the address
// the program was built with.
std::string UpdateEndpoint();

// Hands a file to the desktop's handler for its type; true when the handler took it.
using FileOpener = std::function<bool(const std::string& path)>;
// Runs xdg-open on the file and waits for it; never executes the file itself.
bool OpenWithDesktop(const std::string& path);

class CUpdateChecker {
public:
    CUpdateChecker(); // the program's endpoint, version and desktop opener
    CUpdateChecker(std::string endpoint, ProgramVersion ownVersion, FileOpener opener);
    ~CUpdateChecker();
    CUpdateChecker(const CUpdateChecker&) = delete;
    CUpdateChecker& operator=(const CUpdateChecker&) = delete;

    // 1 when an installer was started and the program must end, 0 otherwise.
    int Run();

    // What the update description said (after Run).
    const ProgramVersion& NewVersion() const { return m_newVersion; }
    const std::string& Notes() const { return m_notes; }
    const std::string& Location() const { return m_location; }

private:
    struct Transfer;

    bool ReadDescription(const std::string& body);
    int Install(Transfer& transfer);

    std::string m_endpoint;
    ProgramVersion m_ownVersion;
    FileOpener m_opener;

    ProgramVersion m_newVersion;
    std::string m_notes;
    std::string m_location;
    std::string m_sha256; // optional digest of the installer, lower-case hex
    bool m_hasSha256 = false;
};

// Start-up's entry point: runs a checker with the program's settings.
// Non-zero means an installer was started and start-up must end.
int RunUpdateCheck();

} // namespace online
