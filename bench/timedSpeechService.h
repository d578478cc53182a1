#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// speech-dispatcher as far as the adapter's client needs it, on a socket of its own
// (SPEECHD_ADDRESS=unix_socket:PATH), serving on a thread of its own: it answers SSIP's lines as
// the service does, takes each text, begins and ends it at once (so that the player's sound goes
// down and up again, as it would with words said), and keeps the time each text came in.
class TimedSpeechService
{
  public:
    explicit TimedSpeechService(const std::string& path);
    ~TimedSpeechService();
    std::string address() const { return "unix_socket:" + path_; }

    // How many texts have come in.
    size_t texts() const;
    // When the text after the first `count` came in (monotonic ns), or -1 once timeoutMs has
    // passed without it.
    long long waitForText(size_t count, int timeoutMs);

  private:
    struct Client
    {
        int fd = -1;
        std::string in;
        bool receiving = false; // between SPEAK and its lone dot
    };
    void serve();
    void line(Client& c, const std::string& text);

    std::string path_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    std::vector<Client> clients_; // the service's thread alone
    int nextId_ = 0;              // likewise
    mutable std::mutex mutex_;
    std::condition_variable more_;
    std::vector<long long> said_; // when each text came in
    std::thread thread_;
};
