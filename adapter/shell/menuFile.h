#pragma once

#include "menuModel.h"

#include <string>
#include <vector>

// Writes MPlayer's menu definition to a new file; false, with errno set, unless all of it was
// written.
bool writeMenuFile(const std::string& path, const std::vector<Menu>& menus);
// The same with the definition already made.
bool writeMenuFile(const std::string& path, const std::string& definition);
