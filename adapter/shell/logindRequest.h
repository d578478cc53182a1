#pragma once

#include <memory>
#include <string>

// One request to logind ("Suspend", say) made off the adapter's loop: logind may take its time
// (polkit asks around), and keys must go on meanwhile. The answer comes through fd().
class LogindRequest
{
  public:
    LogindRequest() = default;
    // Does not wait for an answer still to come: the worker then ends on its own, within
    // logind's bounded call.
    ~LogindRequest();
    LogindRequest(const LogindRequest&) = delete;
    LogindRequest& operator=(const LogindRequest&) = delete;

    // Asks logind to do action (logindDo); false when one is on already or no thread starts.
    bool start(const std::string& action);
    // Readable once answered; -1 when nothing was asked.
    int fd() const;
    bool busy() const;
    // Once fd() is readable: true when done; false with why when refused or unanswered (or not
    // answered yet).
    bool answer(std::string* why);

  private:
    struct State;
    std::shared_ptr<State> state_;
};
