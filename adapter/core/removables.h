#pragma once

#include "mediaTree.h"
#include "menuModel.h"
#include "mountTable.h"

#include <map>
#include <string>
#include <vector>

// The sticks plugged in, and what they hold once read: the entries of the menus that list them.
class Removables
{
  public:
    // The media folders' entries, as "Play a clip" lists them beside the sticks.
    void setFixed(std::vector<MenuEntry> entries) { fixed_ = std::move(entries); }

    struct Change
    {
        std::vector<std::string> added, removed; // mount points
    };
    // The mounts there are now.
    Change mounts(const std::vector<Mount>& mounts);
    // A stick's tree has been read; false when the stick has gone meanwhile.
    bool read(const std::string& mountPoint, MediaScan scan);

    bool any() const { return !sticks_.empty(); }
    // The entries of the menu of media and sticks.
    std::vector<MenuEntry> places() const;
    // The entries of a folder's menu on a stick (path: the mount point or a folder below it), at
    // that level of the stick's menus. Empty when no stick holds the folder.
    std::vector<MenuEntry> folder(const std::string& path, int level) const;
    // The mount point of the stick that holds the path; empty when none does.
    std::string holding(const std::string& path) const;

  private:
    struct Stick
    {
        Mount mount;
        bool read = false;
        MediaScan scan;
    };
    const Stick* find(const std::string& mountPoint) const;

    std::vector<MenuEntry> fixed_;
    std::vector<Stick> sticks_; // in the mount table's order
};
