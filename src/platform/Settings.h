#pragma once

// The settings store: named integer, string and binary values in sections,
// kept in an INI file. An empty section name is the file's general group
// (the lines before the first header). Section and value names compare
// without regard to case, as the store they stand in for did. Every write
// goes to disk at once (a temporary file renamed into place); reads pick up
// changes another process made. Any thread may use a store.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class SettingsStore {
public:
    explicit SettingsStore(std::string path);

    const std::string& Path() const { return m_path; }

    int GetInt(std::string_view section, std::string_view name, int defaultValue) const;
    std::string GetString(std::string_view section, std::string_view name,
                          std::string_view defaultValue = {}) const;
    std::optional<std::vector<std::uint8_t>> GetBinary(std::string_view section,
                                                       std::string_view name) const;

    bool WriteInt(std::string_view section, std::string_view name, int value);
    bool WriteString(std::string_view section, std::string_view name, std::string_view value);
    bool WriteBinary(std::string_view section, std::string_view name,
                     const std::vector<std::uint8_t>& value);
    bool Remove(std::string_view section, std::string_view name);

private:
    struct Entry {
        std::string name;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    std::optional<std::string> Lookup(std::string_view section, std::string_view name) const;
    bool Store(std::string_view section, std::string_view name, std::optional<std::string> value);
    void ReloadIfChanged() const;
    bool Save() const;

    std::string m_path;
    mutable std::mutex m_mutex;
    mutable std::vector<Section> m_sections;
    mutable std::string m_stamp;
};

// The process's two stores: the main settings file and the profile file
// that keeps the update schedule apart from it.
SettingsStore& AppSettings();
SettingsStore& ProfileSettings();

// Base64 as used for binary values.
std::string EncodeBase64(const std::vector<std::uint8_t>& bytes);
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

} // namespace platform
