#include "ssipStandIn.h"

#include <QFile>

#include <algorithm>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

SsipStandIn::SsipStandIn(const QString& socketPath) : path_(socketPath)
{
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path_);
    qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 || pipe(stop_) != 0)
        qFatal("the SSIP stand-in cannot listen on %s", name.constData());
    thread_ = std::thread([this] { serve(); });
}

SsipStandIn::~SsipStandIn()
{
    send(stop_[1], "x");
    thread_.join();
    for (const Client& c : clients_)
        close(c.fd);
    close(listener_);
    close(stop_[0]);
    close(stop_[1]);
    unlink(QFile::encodeName(path_).constData());
}

QStringList SsipStandIn::heard() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return heard_;
}

void SsipStandIn::hold(bool held)
{
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = held;
}

void SsipStandIn::end()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (Client& c : clients_)
        event(c, 702, "END");
}

void SsipStandIn::send(int fd, const QByteArray& bytes)
{
    // A client that went is seen at its end of the socket.
    if (write(fd, bytes.constData(), size_t(bytes.size())) < 0) {
    }
}

void SsipStandIn::event(Client& c, int code, const char* what)
{
    if (!c.speaking)
        return;
    send(c.fd, QString("%1-%2\r\n%1-1\r\n%1 %3\r\n").arg(code).arg(c.speaking).arg(what).toUtf8());
    if (code != 701)
        c.speaking = 0;
}

void SsipStandIn::line(Client& c, const QByteArray& text)
{
    if (c.receiving) {
        if (text != ".") {
            c.text << QString::fromUtf8(text.startsWith("..") ? text.mid(1) : text);
            return;
        }
        c.receiving = false;
        heard_ << c.text.join('\n');
        c.text.clear();
        event(c, 703, "CANCELED"); // a new message stands in for one still spoken
        c.speaking = ++nextId_;
        send(c.fd, QString("225-%1\r\n225 OK MESSAGE QUEUED\r\n").arg(c.speaking).toUtf8());
        event(c, 701, "BEGIN");
        if (!held_)
            event(c, 702, "END");
        return;
    }
    const QByteArray upper = text.toUpper();
    if (upper == "SPEAK") {
        c.receiving = true;
        send(c.fd, "230 OK RECEIVING DATA\r\n");
    } else if (upper.startsWith("CANCEL")) {
        heard_ << "CANCEL";
        send(c.fd, "210 OK CANCELED\r\n");
        event(c, 703, "CANCELED");
    } else if (upper.startsWith("SET SELF LANGUAGE ")) {
        heard_ << "LANGUAGE " + QString::fromUtf8(text.mid(18));
        send(c.fd, "201 OK LANGUAGE SET\r\n");
    } else if (upper == "HISTORY GET CLIENT_ID") {
        send(c.fd, "245-1\r\n245 OK CLIENT ID SENT\r\n");
    } else if (upper == "QUIT") {
        send(c.fd, "231 HAPPY HACKING\r\n");
    } else {
        send(c.fd, "200 OK\r\n");
    }
}

void SsipStandIn::serve()
{
    for (;;) {
        std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const Client& c : clients_)
                fds.push_back({c.fd, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), -1) < 0 || fds[0].revents)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (fds[1].revents) {
            Client c;
            c.fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            clients_.push_back(c);
        }
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
            c.in.append(buf, int(n));
            for (qsizetype end; (end = c.in.indexOf("\r\n")) >= 0;) {
                const QByteArray text = c.in.left(end);
                c.in.remove(0, end + 2);
                line(c, text);
            }
        }
        clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                      [](const Client& c) { return c.fd < 0; }),
                       clients_.end());
    }
}
