#pragma once

#include "uniqueFd.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The desktop's speech service (speech-dispatcher, through libspeechd), saying what the core
// asks in the viewer's language. It is reached where SPEECHD_ADDRESS says, else at its own
// socket, started if need be. Without one, or with one that fails, a line on standard error and
// silence: the run goes on.
//
// Nothing here waits for speech or for the service: the connection is made on a thread of its
// own (starting the service can take a while), what is said meanwhile waits for it, and what is
// said is queued by the service. The service tells when it begins and stops speaking on its
// own thread, which only wakes the loop (fd()).
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

    // Readable when the connection is made or the service began or stopped speaking; -1 while
    // there is no service.
    int fd() const { return state_ == Connecting || state_ == Ready ? wake_.get() : -1; }
    // Whether the service speaks now, once fd() was readable.
    bool speaking();

  private:
    struct Connection; // libspeechd's, whose type cannot be declared ahead
    void connect();    // on the opener's thread
    void connected();
    void sayNow(const std::string& text, int priority);
    void fail(const std::string& why);

    enum State { Idle, Connecting, Ready, Failed } state_ = Idle;
    std::unique_ptr<Connection> connection_;
    std::thread opener_;
    std::atomic<bool> opened_{false}; // the opener is done: connection_ or why_ says how
    std::string why_;
    std::vector<std::pair<std::string, int>> waiting_; // said while connecting
    UniqueFd wake_, waker_;
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
