#pragma once

// Rest for a paused player. A paused MPlayer still redraws its menu over the picture many
// times a second; once it has shown the last command's effect it can be stopped outright
// (SIGSTOP), and continued before the next command. So: once nothing has been sent for the
// quiet time (kQuietMs), ask the player whether it is paused; if it says so, and nothing was sent
// since, stop it a little later, when it has drawn the last change.
class PlayerRest
{
  public:
    // A command of the user's went to the player.
    void sent(long long now);
    // True when it is time to ask the player whether it is paused; the question is then
    // taken as asked.
    bool askNow(long long now);
    // The player answered our question.
    void answered(bool paused, long long now);
    // True when the player is to be stopped now.
    bool stopNow(long long now);
    void stopped() { stopped_ = true; }
    // True when the player was stopped: it must be continued now.
    bool wake();
    long long deadline() const;

  private:
    long long sent_ = 0;        // commands sent, our own questions aside
    long long askedAfter_ = -1; // sent_ when we last asked
    long long askAt_ = -1;
    long long stopAt_ = -1;
    bool stopped_ = false;
};
