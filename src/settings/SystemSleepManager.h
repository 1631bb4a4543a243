#pragma once

#include <QDBusConnection>
#include <QObject>

#include <cstdint>

namespace orvelo {

// Keeps the output screen from blanking while `preventSleep` is on, by holding a
// freedesktop screen-saver inhibition on the session bus. Without a session bus or a
// screen-saver service (a headless machine) enabling fails with a log line and the player
// runs on. One process-wide instance, `shared()`; main thread only.
class SystemSleepManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool preventSleep READ preventSleep WRITE setPreventSleep NOTIFY preventSleepChanged)
public:
    // Created on first use with the session bus, which enables the inhibition at once.
    static SystemSleepManager& shared();

    // Enables the inhibition on `bus` straight away. Only shared() makes one in the program;
    // tests hand in a private bus.
    explicit SystemSleepManager(QDBusConnection bus, QObject* parent = nullptr);

    bool preventSleep() const { return preventSleep_; }
    // Every write acts: true (re)tries to inhibit if nothing is held, false releases.
    void setPreventSleep(bool prevent);

    // The screen saver's cookie for the held inhibition; 0 when none is held.
    std::uint32_t assertionID() const { return assertionID_; }

signals:
    void preventSleepChanged(bool preventSleep);

private:
    void enable();
    void disable();

    QDBusConnection bus_;
    bool preventSleep_ = true;
    std::uint32_t assertionID_ = 0;
};

} // namespace orvelo
