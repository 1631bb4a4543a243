#pragma once

#include <QObject>

class QSocketNotifier;

namespace orvelo {

// Ends the event loop cleanly on SIGINT and SIGTERM. The signal handler only writes a byte
// to a socket pair; the quit itself happens on the main thread.
class QuitOnSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace orvelo
