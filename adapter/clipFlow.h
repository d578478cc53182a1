#pragma once

#include "resumeStore.h"

#include <string>
#include <vector>

// What plays after what. Under the start menu the background loops: each time it starts, one
// more copy goes at the end of the player's list. A clip chosen from the menu plays once, with
// the background after it, so that at its end the start menu comes back; "Play all" puts the
// folder's clips before the background. A single chosen clip starts where it was left.
class ClipFlow
{
  public:
    // background: the start menu's background clip; empty when a media argument plays instead.
    ClipFlow(std::string background, ResumeStore* store);

    // The menu's entry is about to play these files in turn (it loads the first itself).
    void chosen(const std::vector<std::string>& files);

    struct Start
    {
        std::vector<std::string> commands; // to send the player now
        bool stillPicture = false;         // the background starts afresh: hold it still
        bool fromMenu = false;             // a choice from the menu has begun to play
        std::string ended;                 // the clip that ended, when the menu comes back
    };
    // The player has started a file ("Playing FILE.").
    Start started(const std::string& file);

    // The clip playing now: empty for the background or before anything plays.
    const std::string& clip() const { return clip_; }
    bool isBackground(const std::string& file) const { return file == background_; }

  private:
    std::string append(const std::string& file) const;

    std::string background_;
    ResumeStore* store_;
    std::vector<std::string> pending_; // chosen, not started yet
    std::vector<std::string> queue_;   // the files of the running choice
    size_t playing_ = 0;               // which of them plays
    std::string clip_;
    bool started_ = false;
};
