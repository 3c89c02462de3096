// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the UI thread, so that a service
// manager's stop, a ^C or a terminal that goes away runs the node's normal shutdown instead of
// killing it mid-write.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace gw {

class SignalWatcher : public QObject {
    Q_OBJECT
  public:
    // Holds the stop signals back until a watcher exists: call first thing in main, so a
    // stop that comes during start-up is kept instead of killing the node mid-write.
    static void holdStopSignals();

    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

  signals:
    void stopRequested();

  private:
    void readSignal();
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace gw
