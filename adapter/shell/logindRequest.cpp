#include "logindRequest.h"

#include "logind.h"
#include "threadOrNone.h"

#include <atomic>
#include <cstdint>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

// Shared by the request and its worker: whichever is last closes the descriptor, so a worker
// that outlives the request never writes into a descriptor number reused by now.
struct LogindRequest::State
{
    int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::atomic<bool> answered{false};
    bool done = false;
    std::string why; // written by the worker before answered is set
    ~State()
    {
        if (fd >= 0)
            close(fd);
    }
};

LogindRequest::~LogindRequest() = default;

bool LogindRequest::start(const std::string& action)
{
    if (busy())
        return false;
    auto state = std::make_shared<State>();
    if (state->fd < 0)
        return false;
    std::thread asking = threadOrNone([state, action] {
        std::string why;
        state->done = logindDo(action, &why);
        state->why = why;
        state->answered = true;
        const uint64_t one = 1;
        (void)!write(state->fd, &one, sizeof one);
    });
    if (!asking.joinable())
        return false;
    asking.detach();
    state_ = std::move(state);
    return true;
}

int LogindRequest::fd() const
{
    return state_ ? state_->fd : -1;
}

bool LogindRequest::busy() const
{
    return state_ && !state_->answered;
}

bool LogindRequest::answer(std::string* why)
{
    if (!state_ || !state_->answered) {
        if (why)
            *why = state_ ? "logind has not answered yet" : "nothing was asked";
        return false;
    }
    uint64_t count;
    (void)!read(state_->fd, &count, sizeof count);
    const bool done = state_->done;
    if (!done && why)
        *why = state_->why;
    state_.reset();
    return done;
}
