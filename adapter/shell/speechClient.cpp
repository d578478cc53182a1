#include "speechClient.h"

#include "actions.h"
#include "paths.h"
#include "positionsFile.h"
#include "threadOrNone.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <libspeechd.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// libspeechd's callbacks carry no pointer of ours: one client in the process, met here.
// Texts handed to the service and not yet ended or cancelled: each has one of the two, and
// between two of them nothing is quiet (watching begin and end alone, a text that ends as the
// next begins would let the sound up for a moment).
std::atomic<int> inFlight{0};
std::atomic<int> wakeFd{-1};

void heard(size_t, size_t, SPDNotificationType type)
{
    if (type == SPD_EVENT_END || type == SPD_EVENT_CANCEL) {
        int n = inFlight.load();
        while (n > 0 && !inFlight.compare_exchange_weak(n, n - 1)) {
        }
    }
    const char byte = 1;
    // A full pipe has woken the loop already.
    if (write(wakeFd, &byte, 1) < 0) {
    }
}

} // namespace

std::string speechLanguage(const char* language, const char* lcAll, const char* lcMessages,
                           const char* lang)
{
    // The first that is set, as gettext takes them; LANGUAGE may list several.
    std::string name;
    for (const char* v : {language, lcAll, lcMessages, lang}) {
        if (v && *v) {
            name = v;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(":_.@"));
    return name == "C" || name == "POSIX" ? std::string() : name;
}

bool speechWanted(const char* environment, const std::string& file)
{
    if (environment && *environment)
        return std::string(environment) == "1";
    std::string text, why;
    return !file.empty() && readPositions(file, &text, &why) && text.compare(0, 2, "on") == 0;
}

std::string speechFile(const std::string& positionsFile)
{
    return positionsFile.empty() ? std::string() : folderOf(positionsFile) + "/speech";
}

struct SpeechClient::Shared
{
    ~Shared() { wakeFd = -1; }
    void poke() const
    {
        const char byte = 1;
        if (write(waker.get(), &byte, 1) < 0) {
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::pair<std::string, int>> queue;
    bool cancel = false, stop = false;
    std::string why;                 // set before failed
    std::atomic<bool> failed{false}; // the speaker has ended: why_ says why
    UniqueFd waker;                  // kept until the speaker's service and its callbacks are gone
};

namespace {

// Connects and reports why it could not; null on failure.
SPDConnection* connectToService(std::string* why)
{
    // A service named by SPEECHD_ADDRESS is the one wanted: none there is no speech, rather
    // than another started in its place.
    char* error = nullptr;
    SPDConnection* spd = spd_open2("tamblin", "menu", nullptr, SPD_MODE_THREADED, nullptr,
                                   getenv("SPEECHD_ADDRESS") == nullptr, &error);
    if (!spd) {
        *why = error ? error : "cannot reach speech-dispatcher";
        free(error);
        return nullptr;
    }
    free(error);
    spd->callback_begin = spd->callback_end = spd->callback_cancel = heard;
    const std::string language =
        speechLanguage(getenv("LANGUAGE"), getenv("LC_ALL"), getenv("LC_MESSAGES"), getenv("LANG"));
    if (spd_set_notification_on(spd, SPD_BEGIN) != 0 ||
        spd_set_notification_on(spd, SPD_END) != 0 ||
        spd_set_notification_on(spd, SPD_CANCEL) != 0 ||
        (!language.empty() && spd_set_language(spd, language.c_str()) != 0))
        *why = "speech-dispatcher refused the connection's settings";
    return spd;
}

} // namespace

SpeechClient::SpeechClient() = default;

SpeechClient::~SpeechClient()
{
    if (!shared_)
        return;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stop = true;
    shared_->wake.notify_one();
}

void SpeechClient::fail(const std::string& why)
{
    fprintf(stderr, "tamblin-adapter: no speech: %s\n", why.c_str());
    state_ = Failed;
}

bool SpeechClient::open()
{
    if (state_ != Idle)
        return state_ != Failed;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        fail("no pipe");
        return false;
    }
    wake_.reset(pipeFds[0]);
    shared_ = std::make_shared<Shared>();
    shared_->waker.reset(pipeFds[1]);
    wakeFd = pipeFds[1];
    state_ = Running;
    std::thread speaking = threadOrNone(speak, shared_);
    if (!speaking.joinable()) {
        fail("no thread");
        return false;
    }
    speaking.detach();
    return true;
}

void SpeechClient::speak(std::shared_ptr<Shared> s)
{
    std::string why;
    SPDConnection* spd = connectToService(&why);
    std::unique_lock<std::mutex> lock(s->mutex);
    while (why.empty()) {
        s->wake.wait(lock, [&] { return s->stop || s->cancel || !s->queue.empty(); });
        if (s->stop)
            break;
        const bool cancel = std::exchange(s->cancel, false);
        const auto texts = std::exchange(s->queue, {});
        lock.unlock();
        if (cancel && spd_cancel(spd) != 0)
            why = "speech-dispatcher refused to stop";
        // Messages are queued by the service and never dropped: a title and its entry are both
        // heard.
        for (const auto& text : texts) {
            if (!why.empty())
                break;
            ++inFlight;
            if (spd_say(spd, SPD_MESSAGE, text.first.c_str()) < 0) {
                --inFlight;
                why = "speech-dispatcher refused to speak";
            }
        }
        lock.lock();
    }
    const bool stopped = s->stop;
    lock.unlock();
    if (spd)
        spd_close(spd);
    if (!stopped) {
        {
            std::lock_guard<std::mutex> guard(s->mutex);
            s->why = why;
        }
        s->failed = true;
        s->poke();
    }
}

void SpeechClient::say(const std::string& text, int priority)
{
    if (!open())
        return;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    // A new selection makes what waits stale.
    if (priority == Action::kCutOff) {
        shared_->queue.clear();
        shared_->cancel = true;
    }
    shared_->queue.emplace_back(text, priority);
    shared_->wake.notify_one();
}

bool SpeechClient::speaking()
{
    char buf[64];
    while (read(wake_.get(), buf, sizeof buf) > 0) {
    }
    if (state_ == Running && shared_->failed) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        fail(shared_->why);
    }
    return state_ == Running && inFlight > 0;
}
