#pragma once

#include "uniqueFd.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// The desktop's speech service (speech-dispatcher, through libspeechd), saying what the core
// asks in the viewer's language. It is reached where SPEECHD_ADDRESS says, else at its own
// socket, started if need be. Without one, or with one that fails, a line on standard error and
// silence: the run goes on.
//
// Nothing here waits for speech or for the service: one thread of its own connects (starting
// the service can take a while) and then hands the service what is said, each call waiting
// there for the service's reply; what is said meanwhile waits in a queue, which a new selection
// empties. The service tells when it begins and stops speaking on its own thread, which only
// wakes the loop (fd()). A service that hangs holds up that thread alone, and never the run's
// end: the thread is left to end on its own.
class SpeechClient
{
  public:
    SpeechClient();
    ~SpeechClient();
    SpeechClient(const SpeechClient&) = delete;
    SpeechClient& operator=(const SpeechClient&) = delete;

    // Starts connecting, the first time it is called: false once there is no service.
    bool open();
    // Says the text; Action::kCutOff first silences what is still being said.
    void say(const std::string& text, int priority);

    // Readable when the service began or stopped speaking, or failed; -1 while there is no
    // service.
    int fd() const { return state_ == Running ? wake_.get() : -1; }
    // Whether the service speaks now, once fd() was readable.
    bool speaking();

  private:
    struct Shared;                                     // with the speaker's thread
    static void speak(std::shared_ptr<Shared> shared); // the speaker's thread
    void fail(const std::string& why);

    enum State { Idle, Running, Failed } state_ = Idle;
    std::shared_ptr<Shared> shared_;
    UniqueFd wake_;
};

// The viewer's language as the speech service takes it ("fr"), from the locale's variables;
// empty for none (C, POSIX).
std::string speechLanguage(const char* language, const char* lcAll, const char* lcMessages,
                           const char* lang);

// Whether speech is on as the run starts: TAMBLIN_SPEECH ("1" on, "0" off), else as the viewer
// left it in the file (speechFile()).
bool speechWanted(const char* environment, const std::string& file);
// The file that keeps it: beside the positions file.
std::string speechFile(const std::string& positionsFile);
