#include "speechClient.h"

#include "actions.h"
#include "paths.h"
#include "positionsFile.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <libspeechd.h>
#include <unistd.h>
#include <utility>

namespace {

// libspeechd's callbacks carry no pointer of ours: one client in the process, met here.
std::atomic<bool> nowSpeaking{false};
std::atomic<int> wakeFd{-1};

void heard(size_t, size_t, SPDNotificationType type)
{
    nowSpeaking = type == SPD_EVENT_BEGIN;
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

struct SpeechClient::Connection
{
    explicit Connection(SPDConnection* c) : spd(c) {}
    ~Connection() { spd_close(spd); }
    SPDConnection* spd;
};

SpeechClient::SpeechClient() = default;

SpeechClient::~SpeechClient()
{
    if (opener_.joinable())
        opener_.join();
    connection_.reset();
    wakeFd = -1;
}

void SpeechClient::fail(const std::string& why)
{
    fprintf(stderr, "tamblin-adapter: no speech: %s\n", why.c_str());
    connection_.reset();
    waiting_.clear();
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
    waker_.reset(pipeFds[1]);
    wakeFd = waker_.get();
    state_ = Connecting;
    opener_ = std::thread([this] { connect(); });
    return true;
}

void SpeechClient::connect()
{
    // A service named by SPEECHD_ADDRESS is the one wanted: none there is no speech, rather
    // than another started in its place.
    char* error = nullptr;
    SPDConnection* spd = spd_open2("tamblin", "menu", nullptr, SPD_MODE_THREADED, nullptr,
                                   getenv("SPEECHD_ADDRESS") == nullptr, &error);
    if (spd) {
        connection_ = std::make_unique<Connection>(spd);
        spd->callback_begin = spd->callback_end = spd->callback_cancel = heard;
        const std::string language = speechLanguage(getenv("LANGUAGE"), getenv("LC_ALL"),
                                                    getenv("LC_MESSAGES"), getenv("LANG"));
        if (spd_set_notification_on(spd, SPD_BEGIN) != 0 ||
            spd_set_notification_on(spd, SPD_END) != 0 ||
            spd_set_notification_on(spd, SPD_CANCEL) != 0 ||
            (!language.empty() && spd_set_language(spd, language.c_str()) != 0))
            why_ = "speech-dispatcher refused the connection's settings";
    } else {
        why_ = error ? error : "cannot reach speech-dispatcher";
    }
    free(error);
    opened_ = true;
    const char byte = 1;
    if (write(wakeFd, &byte, 1) < 0) {
    }
}

void SpeechClient::connected()
{
    if (state_ != Connecting || !opened_)
        return;
    opener_.join();
    if (!why_.empty())
        return fail(why_);
    state_ = Ready;
    for (const auto& [text, priority] : std::exchange(waiting_, {}))
        sayNow(text, priority);
}

void SpeechClient::say(const std::string& text, int priority)
{
    if (!open())
        return;
    if (state_ == Connecting) {
        // A new selection makes what waits stale.
        if (priority == Action::kCutOff)
            waiting_.clear();
        waiting_.emplace_back(text, priority);
        return;
    }
    sayNow(text, priority);
}

void SpeechClient::sayNow(const std::string& text, int priority)
{
    if (state_ != Ready)
        return;
    if (priority == Action::kCutOff && spd_cancel(connection_->spd) != 0)
        return fail("speech-dispatcher refused to stop");
    // Messages are queued and never dropped: a title and its entry are both heard.
    if (spd_say(connection_->spd, SPD_MESSAGE, text.c_str()) < 0)
        fail("speech-dispatcher refused to speak");
}

bool SpeechClient::speaking()
{
    char buf[64];
    while (read(wake_.get(), buf, sizeof buf) > 0) {
    }
    connected();
    return nowSpeaking;
}
