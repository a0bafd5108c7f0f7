#pragma once

// The catalogue object: one per thread that uses the catalogue, never
// shared. It holds two connections to the catalogue file: the search
// connection (opened by the constructor, quick-search statements, no
// synchronous flushes) and the main connection (opened by OpenMain, every
// other operation). Each operation catches the layer's exception itself,
// stops at the failing statement and returns its failure value.

#include "catalogue/CppSQLite3.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CFileObjectRegistry;

namespace catalogue {

// The path every catalogue object opens unless told otherwise; start-up
// sets it once before any other thread exists.
void SetCatalogPath(const std::string& path);
std::string GetCatalogPath();

} // namespace catalogue

class CCatalog {
public:
    CCatalog();
    explicit CCatalog(const std::string& path);
    CCatalog(const CCatalog&) = delete;
    CCatalog& operator=(const CCatalog&) = delete;
    ~CCatalog();

    bool OpenMain();

    // Brings a catalogue at schema version 0 or 1 to version 2. True when the
    // version row was written. A failing step is shown in a message box.
    bool UpgradeSchema();

    const std::string& Path() const { return m_path; }
    CppSQLite3DB& MainDb() { return m_mainDb; }
    CppSQLite3DB& SearchDb() { return m_searchDb; }

    void SetRegistry(CFileObjectRegistry* registry) { m_registry = registry; }
    CFileObjectRegistry* Registry() const { return m_registry; }

private:
    std::string m_path;
    CppSQLite3DB m_searchDb;
    std::unordered_map<std::uint32_t, std::uint32_t> m_searchResults;
    std::vector<std::string> m_searchPrefixes;
    CppSQLite3DB m_mainDb;
    CFileObjectRegistry* m_registry = nullptr;
};
