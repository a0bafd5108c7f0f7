#include "CatalogFixture.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>

namespace testsupport {

std::string TemplateCatalogPath() {
    return BinDir() + "/db.db3";
}

std::string CopyTemplateCatalog(const ScopedTestHome& home) {
    std::string path = home.Root() + "/catalogue.db3";
    std::filesystem::copy_file(TemplateCatalogPath(), path);
    return path;
}

namespace {

struct Db {
    sqlite3* handle = nullptr;
    explicit Db(const std::string& path) {
        if (sqlite3_open(path.c_str(), &handle) != SQLITE_OK) {
            throw std::runtime_error("cannot open " + path);
        }
    }
    ~Db() { sqlite3_close(handle); }
};

} // namespace

void RawExec(const std::string& path, const std::string& sql) {
    Db db(path);
    char* error = nullptr;
    if (sqlite3_exec(db.handle, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = error != nullptr ? error : "error";
        sqlite3_free(error);
        throw std::runtime_error(text);
    }
}

std::vector<std::string> RawColumn(const std::string& path, const std::string& sql) {
    Db db(path);
    std::vector<std::string> out;
    auto collect = [](void* data, int, char** values, char**) {
        static_cast<std::vector<std::string>*>(data)->push_back(values[0] != nullptr ? values[0]
                                                                                     : "NULL");
        return 0;
    };
    char* error = nullptr;
    if (sqlite3_exec(db.handle, sql.c_str(), collect, &out, &error) != SQLITE_OK) {
        std::string text = error != nullptr ? error : "error";
        sqlite3_free(error);
        throw std::runtime_error(text);
    }
    return out;
}

TemplateCatalog::TemplateCatalog() : m_path(CopyTemplateCatalog(m_home)) {
    Reopen(m_path);
}

void TemplateCatalog::Reopen(const std::string& path) {
    m_catalog.reset();
    m_catalog = std::make_unique<CCatalog>(path);
    if (!m_catalog->OpenMain()) {
        throw std::runtime_error("cannot open the catalogue " + path);
    }
}

std::string TemplateCatalog::Value(const std::string& sql) const {
    std::vector<std::string> rows = Column(sql);
    return rows.empty() ? std::string() : rows.front();
}

} // namespace testsupport
