#pragma once

#include "cacheRecord.h"
#include "mediaMenu.h"
#include "mediaTree.h"
#include "menuFont.h"
#include "mplayerMenu.h"

#include <string>
#include <utility>
#include <vector>

// What the adapter's start makes and can keep for the next one, in the user's cache folder
// ($XDG_CACHE_HOME/tamblin, else ~/.cache/tamblin): the media tree, the menu's font, and
// MPlayer's fitted menu definition. Each record is served only when what it was made of is as
// it was: this adapter's build; the media folders and each folder below them that was read
// (a file added, removed or renamed changes the folder's time); the menus' texts, in the
// viewer's language and with the options; the window's size; and what fontconfig's choice rests on
// (its configuration and font folders, and the environment that finds them). A folder changed in
// the last seconds is not kept: a second change within the same tick of the file system's
// clock would not show. A record that cannot be read, or written, is as none: the start goes
// on as without a cache.
class StartCache
{
  public:
    // folder: where the records are; empty for none.
    explicit StartCache(std::string folder);
    // The folder from the environment's values; empty when neither gives one.
    static std::string folderFrom(const char* xdgCacheHome, const char* home);

    // The tree of the media folders as a start before kept it, when none of its folders has
    // changed since. False when none is kept.
    bool keptScan(const std::vector<std::string>& directories, MediaScan* scan);
    // The tree read from the disk, and kept for the next start.
    MediaScan freshScan(const std::vector<std::string>& directories);
    // MPlayer's look for the menus of the tree that the scan gave last, with those options, as a
    // start before kept it: no menu is made for it, nor measured. False when none is kept.
    bool keptLook(const MenuOptions& options, WindowSize window, const std::string& more,
                  MPlayerMenuLook* look, std::string* definition);
    // Made of those menus, and kept for the next start.
    MPlayerMenuLook mplayerLook(const std::vector<Menu>& menus, const MenuOptions& options,
                                WindowSize window, const std::string& more,
                                std::string* definition);
    MenuFont menuFont(const std::u32string& characters);
    // Writes what was made anew: after the player has started, off the way to its picture.
    void save();
    // How many records were served from the folder.
    int served() const { return served_; }

  private:
    bool stampsHold(const std::vector<PathStamp>& stamps) const;
    bool keep(const std::vector<PathStamp>& stamps) const;
    std::string lookKey(const MenuOptions& options, WindowSize window,
                        const std::string& more) const;
    std::vector<PathStamp> fontStamps(const std::vector<std::string>& watched) const;
    RecordWriter begin(const char* kind) const;
    bool opened(RecordReader& r, const char* kind) const;
    std::string path(const char* name) const { return folder_ + "/" + name; }

    std::string folder_;
    std::string self_;  // this build of the adapter, as its file stands
    std::string fonts_; // the environment that fontconfig finds its configuration by
    long long now_;     // the wall clock's seconds when the start began
    int served_ = 0;
    std::string scanDigest_; // of the tree that the scan gave last; empty before
    std::vector<std::pair<std::string, std::string>> pending_; // file name, record
};

// The path as it is now.
PathStamp stampOf(const std::string& path);
