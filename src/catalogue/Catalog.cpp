#include "catalogue/Catalog.h"

#include <mutex>

namespace catalogue {
namespace {

std::mutex g_pathMutex;
std::string g_catalogPath;

} // namespace

void SetCatalogPath(const std::string& path) {
    std::lock_guard lock(g_pathMutex);
    g_catalogPath = path;
}

std::string GetCatalogPath() {
    std::lock_guard lock(g_pathMutex);
    return g_catalogPath;
}

} // namespace catalogue

CCatalog::CCatalog() : CCatalog(catalogue::GetCatalogPath()) {}

CCatalog::CCatalog(const std::string& path) : m_path(path) {
    m_searchDb.SetBusyTimeout(kBusyTimeoutMs);
    m_mainDb.SetBusyTimeout(kBusyTimeoutMs);
    m_searchResults.reserve(17);
    try {
        m_searchDb.Open(m_path);
        m_searchDb.Execute("PRAGMA synchronous=OFF;");
    } catch (const CppSQLite3Exception&) {
        // Searches then find nothing; every other operation has its own connection.
    }
    m_searchPrefixes = {"rating:", "filename:", "tag:"};
}

CCatalog::~CCatalog() {
    try {
        m_mainDb.Close();
    } catch (const CppSQLite3Exception&) {
    }
    m_searchPrefixes.clear();
    m_searchResults.clear();
    try {
        m_searchDb.Close();
    } catch (const CppSQLite3Exception&) {
    }
}

bool CCatalog::OpenMain() {
    try {
        m_mainDb.Open(m_path);
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}
