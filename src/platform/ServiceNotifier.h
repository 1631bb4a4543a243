#pragma once

#include <QObject>
#include <QTimer>

namespace orvelo {

// Tells the service manager that started the player how it is doing: ready once its listeners
// are open, and alive for as long as its main loop turns, so that a hung player is restarted.
// The pings come from a timer on the main thread: a loop that stops turning stops them. Without
// a service manager (NOTIFY_SOCKET unset) nothing is sent. Main thread.
class ServiceNotifier : public QObject {
    Q_OBJECT
public:
    explicit ServiceNotifier(QObject* parent = nullptr);

    void ready();

private:
    QTimer watchdog_;
};

} // namespace orvelo
