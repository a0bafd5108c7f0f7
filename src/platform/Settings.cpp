#include "platform/Settings.h"

#include "platform/Paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Values are kept on one line: backslash, line breaks and tabs are escaped.
std::string EscapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string UnescapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        char next = value[++i];
        switch (next) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        default:
            out += next;
        }
    }
    return out;
}

std::string FileStamp(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return std::string(s.substr(b, e - b));
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

SettingsStore::SettingsStore(std::string path) : m_path(std::move(path)) {}

void SettingsStore::ReloadIfChanged() const {
    std::string stamp = FileStamp(m_path);
    if (stamp == m_stamp && !stamp.empty()) {
        return;
    }
    m_stamp = stamp;
    m_sections.clear();
    m_sections.push_back(Section{});
    std::ifstream in(m_path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
            continue;
        }
        if (trimmed.front() == '[' && trimmed.back() == ']') {
            m_sections.push_back(Section{trimmed.substr(1, trimmed.size() - 2), {}});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        m_sections.back().entries.push_back(
            Entry{Trim(std::string_view(line).substr(0, eq)),
                  UnescapeValue(std::string_view(line).substr(eq + 1))});
    }
}

std::optional<std::string> SettingsStore::Lookup(std::string_view section,
                                                 std::string_view name) const {
    std::lock_guard lock(m_mutex);
    ReloadIfChanged();
    for (const Section& s : m_sections) {
        if (!EqualsNoCase(s.name, section)) {
            continue;
        }
        for (const Entry& e : s.entries) {
            if (EqualsNoCase(e.name, name)) {
                return e.value;
            }
        }
    }
    return std::nullopt;
}

bool SettingsStore::Store(std::string_view section, std::string_view name,
                          std::optional<std::string> value) {
    std::lock_guard lock(m_mutex);
    ReloadIfChanged();
    auto sit = std::find_if(m_sections.begin(), m_sections.end(),
                            [&](const Section& s) { return EqualsNoCase(s.name, section); });
    if (sit == m_sections.end()) {
        if (!value) {
            return true;
        }
        m_sections.push_back(Section{std::string(section), {}});
        sit = std::prev(m_sections.end());
    }
    auto eit = std::find_if(sit->entries.begin(), sit->entries.end(),
                            [&](const Entry& e) { return EqualsNoCase(e.name, name); });
    if (!value) {
        if (eit != sit->entries.end()) {
            sit->entries.erase(eit);
        }
    } else if (eit == sit->entries.end()) {
        sit->entries.push_back(Entry{std::string(name), std::move(*value)});
    } else {
        eit->value = std::move(*value);
    }
    return Save();
}

bool SettingsStore::Save() const {
    size_t slash = m_path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        CreateDirectories(m_path.substr(0, slash));
    }
    const std::string temp = m_path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const Section& s : m_sections) {
            if (s.entries.empty()) {
                continue;
            }
            if (!s.name.empty()) {
                out << '[' << s.name << "]\n";
            }
            for (const Entry& e : s.entries) {
                out << e.name << '=' << EscapeValue(e.value) << '\n';
            }
            out << '\n';
        }
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), m_path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    m_stamp = FileStamp(m_path);
    return true;
}

int SettingsStore::GetInt(std::string_view section, std::string_view name, int defaultValue) const {
    std::optional<std::string> text = Lookup(section, name);
    if (!text) {
        return defaultValue;
    }
    // Like the profile reader it stands in for: leading digits, 0 when there are none.
    return static_cast<int>(std::strtol(text->c_str(), nullptr, 10));
}

std::string SettingsStore::GetString(std::string_view section, std::string_view name,
                                     std::string_view defaultValue) const {
    std::optional<std::string> text = Lookup(section, name);
    return text ? *text : std::string(defaultValue);
}

std::optional<std::vector<std::uint8_t>> SettingsStore::GetBinary(std::string_view section,
                                                                  std::string_view name) const {
    std::optional<std::string> text = Lookup(section, name);
    if (!text) {
        return std::nullopt;
    }
    return DecodeBase64(*text);
}

bool SettingsStore::WriteInt(std::string_view section, std::string_view name, int value) {
    return Store(section, name, std::to_string(value));
}

bool SettingsStore::WriteString(std::string_view section, std::string_view name,
                                std::string_view value) {
    return Store(section, name, std::string(value));
}

bool SettingsStore::WriteBinary(std::string_view section, std::string_view name,
                                const std::vector<std::uint8_t>& value) {
    return Store(section, name, EncodeBase64(value));
}

bool SettingsStore::Remove(std::string_view section, std::string_view name) {
    return Store(section, name, std::nullopt);
}

namespace {

// One store per file for the life of the process; the file follows the
// environment, so a test that points XDG_CONFIG_HOME elsewhere gets a new store.
SettingsStore& StoreFor(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<SettingsStore>> stores;
    std::lock_guard lock(mutex);
    auto& slot = stores[path];
    if (!slot) {
        slot = std::make_unique<SettingsStore>(path);
    }
    return *slot;
}

} // namespace

SettingsStore& AppSettings() {
    return StoreFor(JoinPath(ConfigDirectory(), "Orvanta.conf"));
}

SettingsStore& ProfileSettings() {
    return StoreFor(JoinPath(ConfigDirectory(), ExecutableBaseName() + ".INI"));
}

std::string EncodeBase64(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned n = bytes[i] << 16;
        if (i + 1 < bytes.size()) {
            n |= bytes[i + 1] << 8;
        }
        if (i + 2 < bytes.size()) {
            n |= bytes[i + 2];
        }
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kBase64[n & 63] : '=';
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    std::vector<std::uint8_t> out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') {
            break;
        }
        const char* p = std::strchr(kBase64, c);
        if (p == nullptr || c == '\0') {
            return std::nullopt;
        }
        buffer = (buffer << 6) | static_cast<unsigned>(p - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

} // namespace platform
