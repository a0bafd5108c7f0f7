#pragma once

// A private HOME with a catalogue copied from the template the build made.

#include "TestEnv.h"

#include <string>

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

} // namespace testsupport
