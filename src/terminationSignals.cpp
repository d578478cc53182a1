#include "terminationSignals.h"
#include "terminationPipe.h"

#include <QSocketNotifier>

#include <cstdio>

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    fd_ = openTerminationPipe();
    if (fd_ < 0) {
        perror("tamblin: signal pipe");
        return;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
}

TerminationSignals::~TerminationSignals()
{
    delete notifier_;
    // The run is over by now: a late signal must not turn its exit status into a failure.
    closeTerminationPipe();
}

void TerminationSignals::readPipe()
{
    drainTerminationPipe(fd_);
    emit received();
}
