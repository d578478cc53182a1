#include "terminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int selfPipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int)
{
    int saved = errno;
    char byte = 1;
    [[maybe_unused]] ssize_t n = write(selfPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (pipe2(selfPipe, O_CLOEXEC | O_NONBLOCK) < 0) {
        perror("tamblin: signal pipe");
        return;
    }
    notifier_ = new QSocketNotifier(selfPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        sigaction(sig, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    // The run is over by now: a late signal must not turn its exit status into a failure.
    for (int sig : kSignals)
        signal(sig, SIG_IGN);
    delete notifier_;
    if (selfPipe[0] >= 0) {
        close(selfPipe[0]);
        close(selfPipe[1]);
        selfPipe[0] = selfPipe[1] = -1;
    }
}

void TerminationSignals::readPipe()
{
    char bytes[64];
    while (read(selfPipe[0], bytes, sizeof bytes) > 0) {
    }
    emit received();
}
