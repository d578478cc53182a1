#pragma once

#include "clipTracks.h"
#include "menuModel.h"

#include <string>
#include <vector>

// What the clip playing now has besides its picture, and what of it is on: its sound tracks,
// subtitles and chapters as the player tells them, the menus made of them, and which tracks a
// clip starts with (those chosen last, else the viewer's languages).
class WhatsOn
{
  public:
    // The viewer's languages, most wanted first (two-letter codes, or as the file says them).
    void setLanguages(std::vector<std::string> languages) { languages_ = std::move(languages); }

    // Another file started: nothing of it is known yet.
    void clear();
    // The player told the tracks of the clip playing now. kept: what the viewer chose last for
    // it. Returns what to ask of the player (kKeep where nothing is to change).
    TrackChoice known(const ClipTracks& tracks, const TrackChoice& kept);
    // The viewer chose: what to keep for the clip, all of it.
    TrackChoice chose(const TrackChoice& choice);
    // Where the clip is, as last heard: the chapter playing is marked.
    void at(double seconds) { at_ = seconds; }

    // The main menu for the clip.
    std::string mainMenu() const;
    // The entries of a listed menu for the clip.
    std::vector<MenuEntry> entries(const std::string& menu) const;
    // Where a chapter starts; negative when there is no such chapter.
    double chapterStart(size_t chapter) const;
    bool hasChapters() const { return !tracks_.chapters.empty(); }

  private:
    bool has(const std::vector<Track>& list, int id) const;

    std::vector<std::string> languages_;
    ClipTracks tracks_;
    bool chosen_ =
        false; // the viewer (or the clip's kept choice) chose: the languages rule is done
    double at_ = 0;
};

// The entries of the menu that asks where to start a clip left at `seconds`.
std::vector<MenuEntry> startEntries(double seconds);

// The core's own commands, carried by the entries of listed menus: never sent to a player.
constexpr char kOwnCommand = '@';
