#include "timedSpeechService.h"

#include "monotonicClock.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

void sendAll(int fd, const std::string& text)
{
    // A client that went is seen at its end of the socket.
    if (write(fd, text.data(), text.size()) < 0) {
    }
}

} // namespace

TimedSpeechService::TimedSpeechService(const std::string& path) : path_(path)
{
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0 || pipe2(stop_, O_CLOEXEC) != 0)
        fprintf(stderr, "bench: the speech stand-in cannot listen on %s\n", path.c_str());
    thread_ = std::thread([this] { serve(); });
}

TimedSpeechService::~TimedSpeechService()
{
    sendAll(stop_[1], "x");
    thread_.join();
    for (const Client& c : clients_)
        close(c.fd);
    close(listener_);
    close(stop_[0]);
    close(stop_[1]);
    unlink(path_.c_str());
}

size_t TimedSpeechService::texts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return said_.size();
}

long long TimedSpeechService::waitForText(size_t count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool heard = more_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return said_.size() > count; });
    return heard ? said_[count] : -1;
}

void TimedSpeechService::line(Client& c, const std::string& text)
{
    if (c.receiving) {
        if (text != ".")
            return;
        c.receiving = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            said_.push_back(monotonicNs());
        }
        more_.notify_all();
        const std::string n = std::to_string(++nextId_);
        sendAll(c.fd, "225-" + n + "\r\n225 OK MESSAGE QUEUED\r\n");
        sendAll(c.fd, "701-" + n + "\r\n701-1\r\n701 BEGIN\r\n");
        sendAll(c.fd, "702-" + n + "\r\n702-1\r\n702 END\r\n");
        return;
    }
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char ch) { return char(std::toupper(ch)); });
    if (upper == "SPEAK") {
        c.receiving = true;
        sendAll(c.fd, "230 OK RECEIVING DATA\r\n");
    } else if (upper.rfind("CANCEL", 0) == 0) {
        sendAll(c.fd, "210 OK CANCELED\r\n");
    } else if (upper == "HISTORY GET CLIENT_ID") {
        sendAll(c.fd, "245-1\r\n245 OK CLIENT ID SENT\r\n");
    } else if (upper == "QUIT") {
        sendAll(c.fd, "231 HAPPY HACKING\r\n");
    } else {
        sendAll(c.fd, "200 OK\r\n");
    }
}

void TimedSpeechService::serve()
{
    for (;;) {
        std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Client& c : clients_)
            fds.push_back({c.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0 || fds[0].revents)
            return;
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            Client& c = clients_[i - 2];
            char buf[4096];
            const ssize_t n = read(c.fd, buf, sizeof buf);
            if (n <= 0) {
                close(c.fd);
                c.fd = -1;
                continue;
            }
            c.in.append(buf, size_t(n));
            for (size_t end; (end = c.in.find("\r\n")) != std::string::npos;) {
                const std::string text = c.in.substr(0, end);
                c.in.erase(0, end + 2);
                line(c, text);
            }
        }
        clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                      [](const Client& c) { return c.fd < 0; }),
                       clients_.end());
        if (fds[1].revents)
            clients_.push_back({accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC), {}, false});
    }
}
