#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP, turned into a Qt signal through a self-pipe: the handler only
// writes a byte, and the event loop does the rest.
class TerminationSignals : public QObject
{
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

  signals:
    void received();

  private:
    void readPipe();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};
