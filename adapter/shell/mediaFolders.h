#pragma once

#include "mediaTree.h"

#include <string>
#include <vector>

// TAMBLIN_MEDIA split at ":", or the user's videos folder and the application folder.
std::vector<std::string> mediaDirectories(const char* tamblinMedia, const std::string& appDir);

// One folder as the disk has it: its entries, links followed.
FolderListing readFolder(const std::string& path);

// The folders as absolute paths, relative ones taken from the working folder.
std::vector<std::string> absoluteFolders(const std::vector<std::string>& directories);

// The media tree below the folders, read from the disk; relative folders are taken from the
// working folder.
MediaScan scanMediaFolders(const std::vector<std::string>& directories);
