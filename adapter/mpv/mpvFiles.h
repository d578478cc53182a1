#pragma once

#include "mpvTracks.h"

#include <map>
#include <string>
#include <vector>

// How files reach mpv, and how it names them back. JSON carries any UTF-8, so a path whose
// bytes are UTF-8 goes as it is ("./" before a relative one, so that no part of it reads as a
// protocol); one that is not goes through a private alias, a link with a plain name to its exact
// bytes. mpv knows each file by a playlist entry id: in loadfile's reply, and in the start-file
// and end-file events. The subtitle files beside each one go with it, to be added as it opens.
class MpvFiles
{
  public:
    // folder: where the aliases go; firstFile: the file on mpv's command line (entry 1).
    MpvFiles(std::string folder, std::string firstFile);

    // What to hand mpv for the path. *newAlias is the link to make first, to the path, when
    // the path needs one that is not made yet; else empty. A subtitle file's alias keeps its
    // suffix, which mpv's format guess reads.
    std::string url(const std::string& path, std::string* newAlias, bool subtitle = false);

    void added(long long entry, const std::string& path, std::vector<Sidecar> subtitles = {})
    {
        entries_[entry] = {path, std::move(subtitles)};
    }
    // The file of an entry ("" for one not known, as the idle player's).
    std::string file(long long entry) const;
    // The subtitle files to add to an entry as it opens.
    std::vector<Sidecar> subtitles(long long entry) const;
    void ended(long long entry) { entries_.erase(entry); }

  private:
    struct Entry
    {
        std::string path;
        std::vector<Sidecar> subtitles;
    };
    std::string folder_;
    std::map<long long, Entry> entries_; // by playlist entry id
    std::map<std::string, std::string> aliases_;
};
