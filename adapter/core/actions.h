#pragma once

#include <string>
#include <utility>
#include <vector>

// What the adapter's core asks the world to do. The core owns no descriptor and reads no
// clock: it hands these to its loop, which carries them out in order.
struct Action
{
    enum Kind {
        ToPlayer,      // text: bytes for the player's command channel
        ToWindow,      // text: bytes for the window (our standard output)
        ToLog,         // text: bytes for our standard error
        Signal,        // signal: to send the player
        SavePositions, // text: the positions file's new content
        Trace,         // text: a line for the trace, without its end
        MakeLink,      // path: a symbolic link to make, pointing at text
        WriteFile,     // path: a private file to write whole, with text
        ListFolder,    // path: a private folder to empty and fill with empty files, named by
                       // the lines of text
        ScanStick,     // path: a stick's mount point, to read in the background (stickRead())
        ForgetStick,   // path: a stick that has gone; its reading, if any, is dropped
        AskLogind,     // text: what to ask the system's login manager ("Suspend"), off the
                       // loop (sleepAnswered())
        Say,           // text: what to say aloud; signal: its priority (Action::kCutOff,
                       // Action::kMessage); the speech service tells when it speaks (speaking())
        SaveSpeech,    // text: whether speech is on ("on" or "off"), kept for the next run
    };
    // A new selection cuts off what is still being said; a message waits its turn.
    static constexpr int kCutOff = 1;
    static constexpr int kMessage = 2;
    Kind kind;
    std::string text;
    std::string path;
    int signal = 0;
};

// Where the core and its player driver put their actions, in the order they are due.
class Actions
{
  public:
    void add(Action::Kind kind, std::string text) { list_.push_back({kind, std::move(text), {}}); }
    // Bytes for the window, minding whether they leave a line begun.
    void window(const std::string& text)
    {
        if (text.empty())
            return;
        windowMidLine_ = text.back() != '\n' && text.back() != '\r';
        add(Action::ToWindow, text);
    }
    // Whether the window has been given part of a line that has not ended yet.
    bool windowMidLine() const { return windowMidLine_; }
    void signal(int sig) { list_.push_back({Action::Signal, {}, {}, sig}); }
    void say(std::string text, int priority)
    {
        list_.push_back({Action::Say, std::move(text), {}, priority});
    }
    void trace(char mark, const std::string& text)
    {
        add(Action::Trace, std::string(1, mark) + " " + text);
    }
    void file(Action::Kind kind, std::string path, std::string text)
    {
        list_.push_back({kind, std::move(text), std::move(path)});
    }
    // Hands over what has piled up, oldest first.
    std::vector<Action> take() { return std::exchange(list_, {}); }
    bool empty() const { return list_.empty(); }

  private:
    std::vector<Action> list_;
    bool windowMidLine_ = false;
};
