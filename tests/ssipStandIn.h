#pragma once

#include <QString>
#include <QStringList>

#include <mutex>
#include <thread>
#include <vector>

// A stand-in for speech-dispatcher on a socket of its own (SPEECHD_ADDRESS=unix_socket:PATH):
// it answers SSIP's lines as the service does, and keeps what it was asked, in order: each
// text said, "CANCEL" for each silencing, "LANGUAGE xx" as it is set. As each text comes it
// tells that it begins speaking it and, unless held, that it has ended. It serves on a thread
// of its own, so that a test may wait on what it heard.
class SsipStandIn
{
  public:
    explicit SsipStandIn(const QString& socketPath);
    ~SsipStandIn();
    QString address() const { return "unix_socket:" + path_; }

    QStringList heard() const;
    // Whether texts stay spoken until ended(): the speaking that a test waits out.
    void hold(bool held);
    // The text being said has ended.
    void end();

  private:
    struct Client
    {
        int fd = -1;
        QByteArray in;
        bool receiving = false; // between SPEAK and its lone dot
        QStringList text;
        int speaking = 0; // the message begun and not ended, or 0
    };
    void serve();
    void line(Client& c, const QByteArray& text);
    void event(Client& c, int code, const char* what);
    static void send(int fd, const QByteArray& bytes);

    QString path_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::vector<Client> clients_;
    QStringList heard_;
    bool held_ = false;
    int nextId_ = 0;
    std::thread thread_;
};
