#include "online/UpdateChecker.h"

#include "online/Concat.h"
#include "online/NetworkText.h"
#include "online/Strings.h"
#include "online/XmlDocument.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Settings.h"

#include <curl/curl.h>
#include <openssl/evp.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace online {
namespace {

constexpr std::size_t kInitialBufferCapacity = 10000;
// An update description is a few lines; an installer fits in memory.
constexpr std::size_t kMaxDescriptionBytes = 1 << 20;
constexpr std::size_t kMaxInstallerBytes = std::size_t{1} << 30;
constexpr long kConnectTimeoutSeconds = 15;
constexpr long kDescriptionTimeoutSeconds = 30;
// A download that moves less than a byte a second for a minute has stalled.
constexpr long kStallSeconds = 60;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool IsWebAddress(std::string_view location) {
    return StartsWithNoCase(location, "http://") || StartsWithNoCase(location, "https://");
}

// The extension of the location's last path segment (".deb"), or "" when it
// has none that is safe to put in a file name.
std::string ExtensionOf(std::string_view location) {
    std::string_view path = location.substr(location.find("//") + 2);
    path = path.substr(0, path.find_first_of("?#"));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    const std::string_view name = path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size() || name.size() - dot > 17) {
        return {};
    }
    for (char c : name.substr(dot + 1)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return {};
        }
    }
    return std::string(name.substr(dot));
}

// Read as the platform's decimal integer read does, kept as 16 bits.
std::uint16_t ToVersionPart(const std::string& text) {
    return static_cast<std::uint16_t>(std::strtol(text.c_str(), nullptr, 10));
}

std::string ReplaceLineBreaks(std::string_view notes) {
    std::string out;
    out.reserve(notes.size());
    for (std::size_t pos = 0; pos < notes.size(); ++pos) {
        if (notes[pos] == '\\' && pos + 1 < notes.size() && notes[pos + 1] == 'n') {
            out += '\n';
            ++pos;
            continue;
        }
        out += notes[pos];
    }
    return out;
}

std::string Trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

std::string LowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

std::string FormatNewVersionMessage(const std::string& notes) {
    const std::string_view text = kNewVersionMessage;
    const std::size_t at = text.find("%s");
    return Concat({text.substr(0, at), notes, text.substr(at + 2)});
}

// Writes the installer under a unique "QV" name in the temporary folder,
// keeping the location's extension. Returns the path, or "" on failure
// (nothing is left behind then).
std::string WriteTemporaryFile(const std::string& contents, const std::string& extension) {
    std::string pattern = Concat({platform::TempDirectory(), "QVXXXXXX", extension});
    const int fd = mkstemps(pattern.data(), static_cast<int>(extension.size()));
    if (fd < 0) {
        return {};
    }
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = write(fd, contents.data() + written, contents.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    const bool closed = close(fd) == 0;
    if (written != contents.size() || !closed) {
        unlink(pattern.c_str());
        return {};
    }
    return pattern;
}

} // namespace

// One libcurl easy handle, used for the check and then for the download.
struct CUpdateChecker::Transfer {
    Transfer() : curl(curl_easy_init()) { buffer.reserve(kInitialBufferCapacity); }
    ~Transfer() {
        if (curl != nullptr) {
            curl_easy_cleanup(curl);
        }
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    static size_t Append(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (self->buffer.size() + bytes > self->limit) {
            return 0; // too large: libcurl ends the transfer with an error
        }
        self->buffer.append(data, bytes);
        return bytes;
    }

    // GET of the address into the buffer; true when a 2xx answer arrived whole.
    bool Get(const std::string& url, std::size_t maxBytes, long timeoutSeconds) {
        buffer.clear();
        limit = maxBytes;
        if (curl == nullptr) {
            return false;
        }
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::Append);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        // Only the web: no file, ftp or other scheme, now or after a redirect.
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
        if (curl_easy_perform(curl) != CURLE_OK) {
            return false;
        }
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return status >= 200 && status < 300;
    }

    CURL* curl;
    std::string buffer;
    std::size_t limit = 0;
};

ProgramVersion ParseProgramVersion(std::string_view text) {
    std::uint16_t parts[4] = {0, 0, 0, 0};
    for (std::uint16_t& part : parts) {
        const std::size_t dot = text.find('.');
        part = ToVersionPart(std::string(text.substr(0, dot)));
        if (dot == std::string_view::npos) {
            break;
        }
        text.remove_prefix(dot + 1);
    }
    return {parts[0], parts[1], parts[2], parts[3]};
}

ProgramVersion OwnProgramVersion() {
    return ParseProgramVersion(ORVANTA_PROGRAM_VERSION);
}

std::string UpdateEndpoint() {
    const std::string configured = platform::AppSettings().GetString("", "UpdateURL", "");
    return configured.empty() ? std::string(ORVANTA_UPDATE_URL) : configured;
}

bool OpenWithDesktop(const std::string& path) {
    std::string program = "xdg-open";
    std::string argument = path;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

CUpdateChecker::CUpdateChecker()
    : CUpdateChecker(UpdateEndpoint(), OwnProgramVersion(), &OpenWithDesktop) {}

CUpdateChecker::CUpdateChecker(std::string endpoint, ProgramVersion ownVersion, FileOpener opener)
    : m_endpoint(std::move(endpoint)), m_ownVersion(ownVersion), m_opener(std::move(opener)) {}

CUpdateChecker::~CUpdateChecker() = default;

int CUpdateChecker::Run() {
    Transfer transfer;
    if (!transfer.Get(m_endpoint, kMaxDescriptionBytes, kDescriptionTimeoutSeconds)) {
        return 0;
    }
    // The body ends at its first zero byte, as a terminated string would.
    const std::string body = transfer.buffer.substr(0, transfer.buffer.find('\0'));
    if (!ReadDescription(DecodeNetworkText(body))) {
        return 0;
    }
    if (!(m_newVersion > m_ownVersion)) {
        return 0;
    }
    const auto answer = platform::ShowMessageBox(FormatNewVersionMessage(m_notes),
                                                 platform::MessageBoxButtons::YesNo);
    if (answer != platform::MessageBoxAnswer::Yes) {
        return 0;
    }
    return Install(transfer);
}

bool CUpdateChecker::ReadDescription(const std::string& text) {
    m_newVersion = {};
    m_notes.clear();
    m_location.clear();
    m_sha256.clear();
    m_hasSha256 = false;
    CXmlDocument doc(text);
    if (!doc.FindElement("update")) {
        return false;
    }
    if (doc.FindChildElement("version")) {
        doc.EnterElement();
        std::uint16_t* parts[] = {&m_newVersion.major, &m_newVersion.minor, &m_newVersion.patch,
                                  &m_newVersion.build};
        const char* names[] = {"major", "minor", "patch", "build"};
        for (int i = 0; i < 4; ++i) {
            *parts[i] =
                doc.FindChildElement(names[i]) ? ToVersionPart(doc.GetChildElementText()) : 0;
        }
        doc.LeaveElement();
    }
    if (doc.FindChildElement("notes")) {
        m_notes = ReplaceLineBreaks(doc.GetChildElementText());
    }
    if (doc.FindChildElement("location")) {
        m_location = Trimmed(doc.GetChildElementText());
    }
    // The digest is ours, not part of the original description: found
    // wherever it stands among the children.
    doc.ResetPosition();
    doc.FindElement("update");
    if (doc.FindChildElement("sha256")) {
        m_hasSha256 = true;
        m_sha256 = LowerCase(Trimmed(doc.GetChildElementText()));
    }
    // An installer that is not on the web is never fetched, so not offered.
    return IsWebAddress(m_location);
}

int CUpdateChecker::Install(Transfer& transfer) {
    if (!transfer.Get(m_location, kMaxInstallerBytes, 0)) {
        return 0;
    }
    if (m_hasSha256 && Sha256Hex(transfer.buffer) != m_sha256) {
        platform::ShowMessageBox(kErrorMessage);
        return 0;
    }
    const std::string path = WriteTemporaryFile(transfer.buffer, ExtensionOf(m_location));
    if (path.empty() || !m_opener || !m_opener(path)) {
        platform::ShowMessageBox(kErrorMessage);
        return 0;
    }
    return 1;
}

int RunUpdateCheck() {
    CUpdateChecker checker;
    return checker.Run();
}

} // namespace online
