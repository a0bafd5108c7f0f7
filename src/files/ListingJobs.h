#pragma once

// The listing jobs: what each reads, the order it walks, what it records and
// posts. Each runs on its own worker thread, started by CBrowseManager under
// the start protocol, and ends through the manager's end or stop protocol.

#include "catalogue/AlbumInfo.h"
#include "files/BrowseManager.h"

#include <string>
#include <vector>

void RunDriveListJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                     platform::WindowHandle window);
void RunFolderJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                  platform::WindowHandle window, const std::string& folder, std::int32_t folderId);
void RunSeveralFoldersJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                          platform::WindowHandle window, const std::vector<std::string>& folders,
                          bool imagesOnly);
void RunAlbumJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                 platform::WindowHandle window, const AlbumInfo& album);
void RunSearchJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                  platform::WindowHandle window, const std::string& query);

// Whether a file is a picture for the images-only listing: it is named as
// one and it decodes (a text file named .jpg is not).
bool IsPictureFile(const std::string& path);
