#pragma once

// A private HOME with a catalogue copied from the template the build made.

#include "catalogue/Catalog.h"

#include "TestEnv.h"

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// The template catalogue beside the built executables.
std::string TemplateCatalogPath();

// Copies the template to <home>/catalogue.db3 and returns the path.
std::string CopyTemplateCatalog(const ScopedTestHome& home);

// Runs statements on a catalogue file outside the program's own layer, so
// tests can set up and inspect rows independently. Throws on failure.
void RawExec(const std::string& path, const std::string& sql);
// Column 0 of every row, as text (NULL as "NULL").
std::vector<std::string> RawColumn(const std::string& path, const std::string& sql);

// A private HOME, a catalogue copied from the template and a catalogue object
// on it with its main connection open.
class TemplateCatalog {
public:
    TemplateCatalog();

    const std::string& Path() const { return m_path; }
    CCatalog& Catalog() { return *m_catalog; }

    void Exec(const std::string& sql) const { RawExec(m_path, sql); }
    std::vector<std::string> Column(const std::string& sql) const { return RawColumn(m_path, sql); }
    // Column 0 of the first row, or "" when there is none.
    std::string Value(const std::string& sql) const;

    // Reopens the catalogue object on another path naming the same file
    // (a URI with open flags, for instance).
    void Reopen(const std::string& path);

private:
    ScopedTestHome m_home;
    std::string m_path;
    std::unique_ptr<CCatalog> m_catalog;
};

} // namespace testsupport
