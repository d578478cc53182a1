#pragma once

#include "uniqueFd.h"

#include <memory>
#include <string>

// The desktop's speech service (speech-dispatcher, through libspeechd), saying what the core
// asks in the viewer's language. It is reached where SPEECHD_ADDRESS says, else at its own
// socket, started if need be. Without one, or with one that fails, a line on standard error and
// silence: the run goes on.
//
// What is said is queued by the service, so that no call waits for speech; the service tells
// when it begins and stops speaking on a thread of its own, which only wakes the loop (fd()).
class SpeechClient
{
  public:
    SpeechClient();
    ~SpeechClient();
    SpeechClient(const SpeechClient&) = delete;
    SpeechClient& operator=(const SpeechClient&) = delete;

    // Connects, the first time it is called: false when there is no service to speak with.
    bool open();
    // Says the text; Action::kCutOff first silences what is still being said.
    void say(const std::string& text, int priority);

    // Readable when the service began or stopped speaking; -1 while there is no service.
    int fd() const { return connection_ ? wake_.get() : -1; }
    // Whether the service speaks now, once fd() was readable.
    bool speaking();

  private:
    void fail(const char* what);

    struct Connection; // libspeechd's, whose type cannot be declared ahead
    std::unique_ptr<Connection> connection_;
    bool tried_ = false;
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
