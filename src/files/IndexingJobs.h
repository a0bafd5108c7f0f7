#pragma once

// The jobs that make thumbnails and record pictures as they go: the
// thumbnail job over a listing, the computer scan of the fixed drives, and
// the copy job into a folder. Each runs on its own worker thread under the
// browse manager's protocols.

#include "files/BrowseManager.h"

#include <string>
#include <vector>

void RunThumbnailJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                     platform::WindowHandle window);

// `roots` are the folders to scan; empty: every fixed drive.
void RunComputerScanJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                        platform::WindowHandle window, const std::vector<std::string>& roots);

void RunCopyJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                platform::WindowHandle window, const std::string& destination,
                const CFileObjectTable& sources, bool move);
