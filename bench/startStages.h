#pragma once

// Where the time to the start menu goes: the marks that the window and the adapter leave with
// TAMBLIN_START_TRACE (base/startTrace.h), gathered over starts and each player, as offsets
// from the benchmark's exec of the program.

#include <map>
#include <string>
#include <vector>

class StartStages
{
  public:
    // Sets TAMBLIN_START_TRACE to file for the processes started from now on.
    explicit StartStages(std::string file);

    // Before a start: the last start's marks go.
    void clear();
    // After a start of the program that execNs began and that showed its menu at shownNs: its
    // marks, under player.
    void collect(const std::string& player, long long execNs, long long shownNs);
    // The player alone, from its exec to its menu on screen.
    void collectAlone(const std::string& player, long long ns);

    // One table, a column for each player: each stage's median offset in milliseconds, the
    // menu on screen, the player's own start inside the program (from the adapter's exec of it
    // to the menu on screen) and the player alone's.
    void print() const;

  private:
    std::string file_;
    std::vector<std::string> players_;
    // player -> "process stage" -> offsets in nanoseconds
    std::map<std::string, std::map<std::string, std::vector<long long>>> offsets_;
};
