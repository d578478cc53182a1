#pragma once

#include "clipTracks.h"

#include <deque>
#include <string>

// What MPlayer says of the file it has opened when run with -identify, between "Playing X." and
// "Starting playback...": its sound tracks ("ID_AUDIO_ID=1", "ID_AID_1_LANG=fre",
// "ID_AID_1_NAME=..."), its subtitle tracks ("ID_SUBTITLE_ID", "ID_SID_N_LANG", "ID_SID_N_NAME")
// and its chapters ("ID_CHAPTER_ID", "ID_CHAPTER_N_START" in ms, "ID_CHAPTER_N_NAME"); and, for
// each subtitle file it loaded, "ID_FILE_SUB_ID=N" then "ID_FILE_SUB_FILENAME=NAME". Lines in,
// tracks out.
//
// Ids: a sound track's and an embedded subtitle's are the player's own, as switch_audio and
// sub_demux take them. A loaded subtitle file's is kFileSubtitles plus the player's number for it
// (as sub_file takes it): the player numbers files apart from the file's tracks.
class MPlayerTracks
{
  public:
    static constexpr int kFileSubtitles = 1000;
    static bool isFile(int id) { return id >= kFileSubtitles; }

    // A new file: nothing is known of it.
    void clear();
    // A line of the player's output, without its end. True when it told of a sound track, a
    // subtitle track or a chapter of the file not known before, or of its language, name or
    // start anew.
    bool read(const std::string& line);
    // A subtitle file is loaded under the name `sent`; it is reported with `given` as its title.
    // The player loads them in order and names only those it could load.
    void loading(const std::string& sent, const std::string& given);

    ClipTracks& tracks() { return tracks_; }
    const ClipTracks& tracks() const { return tracks_; }

  private:
    bool fileLoaded(const std::string& name);

    ClipTracks tracks_;
    struct Load
    {
        std::string sent, given;
    };
    std::deque<Load> loads_;
    int fileId_ = -1; // the last ID_FILE_SUB_ID, until its name comes
};
