#pragma once

#include "clipFlow.h"
#include "menuModel.h"
#include "pauseHold.h"
#include "resumeStore.h"

#include <cstdio>
#include <deque>
#include <string>
#include <sys/types.h>

// Carries the window's commands to the real player and the player's output back, answering
// the menu query itself from the menu model. It also keeps the pause the menu holds, lets the
// player rest, says what plays after what, and asks where a clip is left before leaving it.
class Relay
{
  public:
    struct Channels
    {
        int fifo;         // the window's commands, read end
        int playerInput;  // the player's standard input
        int playerOutput; // the player's standard output
        int playerErrors; // the player's standard error, passed on as it comes
        int signals;      // readable when the adapter is asked to end
        pid_t player;
    };

    Relay(const Channels& channels, MenuModel& model, PauseHold& hold, ClipFlow& flow,
          ResumeStore& store, FILE* trace);

    // Runs until the player has ended; returns its wait status.
    int run();

    // What run() does with the bytes it has read: from the window's FIFO, and from the
    // player's standard output. Then, whatever is due by now.
    void commandBytes(const char* data, size_t size);
    void playerOutputBytes(const char* data, size_t size);
    void checkDeadlines();

  private:
    void readCommands();
    void windowGone();
    void handleCommand(const std::string& line);
    void readPlayerOutput(bool finalRead);
    // False when there is nothing more to read for now.
    bool readPlayerErrors();
    // False when the line is the answer to a question of the adapter's own, kept back.
    bool handleOutputLine(const std::string& line);
    void emitAnswers(bool force);
    // A command through the menu model and the pause hold to the player.
    void forward(const std::string& command);
    void fileStarted(const std::string& file);
    // Brings the menu back over the background with the clip that ended selected.
    void showMenuAt(const std::string& clip);
    // Asks the player where the clip playing now is, and holds back what follows until it
    // answers (or a short while has passed).
    void leaveClip();
    void endLeaving();
    void answered(const std::string& property, const std::string& value, bool ours);
    enum class Send {
        Plain,
        Ours,     // a question of the adapter's own, whose answer is kept back
        Settling, // the player acts on it at its next frame: what follows waits
    };
    void sendToPlayer(const std::string& command, Send kind = Send::Plain);
    void sendHeldBack();
    void rest();
    void wake();
    void endPlayer(int signal, long long graceMs);
    void traceLine(char mark, const std::string& text);
    int waitTimeout() const;

    Channels ch_;
    MenuModel& model_;
    PauseHold& hold_;
    ClipFlow& flow_;
    ResumeStore& store_;
    FILE* trace_;
    int pidfd_ = -1;

    std::string commands_;      // a command line not complete yet
    std::string output_;        // a player output line not complete yet
    long long outputSince_ = 0; // when that partial line began
    bool midLine_ = false;      // part of a line has gone out already
    std::deque<std::string> answers_;
    bool awaitingPlaying_ = false;
    bool quitSent_ = false;
    bool windowWatched_ = true; // whether our output's reader is watched for its end
    std::string errorLine_;     // the start of a line of the player's standard error
    bool noDisplay_ = false;
    long long termAt_ = -1; // when to ask the player to terminate
    long long killAt_ = -1; // when to kill it

    // At rest, a paused player still redraws its menu many times a second: once it has shown
    // the last command's effect it is stopped, and continued before the next command.
    struct Question
    {
        std::string property;
        bool ours;
    };
    std::deque<Question> questions_; // unanswered get_property queries, in order
    long long sent_ = 0;             // commands sent, the adapter's questions aside
    long long askedAfter_ = -1;      // sent_ when the adapter last asked
    long long askAt_ = -1;           // when to ask whether the player is paused
    long long stopAt_ = -1;          // when to stop it
    bool stopped_ = false;

    // Leaving a clip: where it was, asked before anything else goes to the player.
    std::string leaving_;
    double leftAt_ = -1, leftLength_ = -1;
    long long leaveUntil_ = -1;
    // Commands held back until the player has said where a clip was, or has drawn a frame.
    struct Held
    {
        std::string command;
        Send kind;
    };
    std::deque<Held> heldBack_;
    long long holdUntil_ = -1;
};
