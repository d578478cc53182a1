#pragma once

#include "playerDriver.h"
#include "resumeStore.h"

#include <string>
#include <vector>

// What plays after what. Under the start menu the background loops: each time it starts, one
// more copy goes after it. A choice from the menu plays its clips in turn with the background
// after them, so that at their end the start menu comes back; a file that cannot be played is
// passed over. A single chosen clip starts where it was left.
class ClipFlow
{
  public:
    // background: the start menu's background clip; empty when a media argument plays instead.
    ClipFlow(std::string background, const ResumeStore* store);

    // The menu's entry plays these files in turn: what the player is to play in place of what
    // plays now.
    std::vector<PlayItem> chosen(const std::vector<std::string>& files);

    struct Start
    {
        std::vector<PlayItem> append; // to play after the file that started
        bool stillPicture = false;    // the background starts afresh: hold it still
        bool fromMenu = false;        // a choice from the menu has begun to play
        std::string finished;         // the clip that played to its end
        std::string ended;            // the clip whose entry the menu comes back on
        bool unplayable = false;      // ... a clip chosen alone, which could not be played
        bool pulled = false;          // the choice was given up: its stick was pulled out
    };
    // The player has started a file.
    Start started(const std::string& file);
    // The player could not play a file, and goes on with the next one.
    void failed(const std::string& file);
    // The stick that the choice plays from has gone: what the player is to play instead, to
    // bring the start menu back (nothing without a background).
    std::vector<PlayItem> pulled();

    // The clip playing now: empty for the background or before anything plays.
    const std::string& clip() const { return clip_; }

  private:
    std::string background_;
    const ResumeStore* store_;
    std::vector<std::string> queue_; // the files of the running choice
    size_t next_ = 0;                // the first of them that has not started yet
    bool choosing_ = false;          // a choice is on its way: its first file has not started
    bool single_ = false;            // the choice is one clip
    std::string clip_;               // the clip playing, or the last one tried
    bool clipFailed_ = false;        // ... which could not be played
    bool started_ = false;
    bool pulled_ = false; // given up, until the background starts
};
