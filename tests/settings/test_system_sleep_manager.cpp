// Protects display-sleep prevention against a fake freedesktop screen saver on a private
// session bus: one inhibition at a time, release on request, and retry after a refusal.
#include "settings/SystemSleepManager.h"

#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

using namespace orvelo;
using namespace orvelo::test;

namespace {

// Stands in for the desktop's screen saver. It lives on a thread of its own, because the
// manager's calls block the main thread until they are answered.
class FakeScreenSaver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    std::atomic<int> inhibitCalls{0}, unInhibitCalls{0};
    std::atomic<uint> lastReleased{0};
    std::atomic<bool> refuse{false}, namedTheApplication{false};

public slots:
    // The screen saver's D-Bus method names.
    // NOLINTNEXTLINE(readability-identifier-naming)
    uint Inhibit(const QString& application, const QString& reason)
    {
        ++inhibitCalls;
        namedTheApplication = application == "Orvelo" && reason == "Orvelo Playback";
        if (refuse) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("not now"));
            return 0;
        }
        return ++nextCookie_;
    }

    // NOLINTNEXTLINE(readability-identifier-naming)
    void UnInhibit(uint cookie)
    {
        ++unInhibitCalls;
        lastReleased = cookie;
        if (refuse)
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("unknown cookie"));
    }

private:
    uint nextCookie_ = 41;
};

// A private session bus with the fake screen saver on it, for as long as it lives.
struct FakeBus {
    FakeBus()
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address", "--address=unix:dir=" + dir.path()});
        if (!daemon.waitForReadyRead(5000))
            return;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        thread.start();
        screenSaver->moveToThread(&thread);
        auto service = QDBusConnection::connectToBus(address, "fake-screensaver");
        service.registerObject("/org/freedesktop/ScreenSaver", screenSaver, QDBusConnection::ExportAllSlots);
        service.registerService("org.freedesktop.ScreenSaver");
    }
    ~FakeBus()
    {
        QDBusConnection::disconnectFromBus("fake-screensaver");
        QDBusConnection::disconnectFromBus("sleep-manager");
        thread.quit();
        thread.wait();
        delete screenSaver; // QProcess ends the daemon as it goes
    }
    QDBusConnection client() const { return QDBusConnection::connectToBus(address, "sleep-manager"); }

    QTemporaryDir dir{QString::fromStdString(tempDir()) + "/bus-XXXXXX"};
    QProcess daemon;
    QString address;
    QThread thread;
    FakeScreenSaver* screenSaver = new FakeScreenSaver;
};

} // namespace

TEST(SystemSleepManager, InhibitsOnceReleasesAndRetriesAfterARefusal)
{
    FakeBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    FakeScreenSaver& screenSaver = *bus.screenSaver;
    LogCapture log;
    {
        SystemSleepManager manager(bus.client());
        EXPECT_TRUE(screenSaver.namedTheApplication);
        const uint cookie = manager.assertionID();
        EXPECT_NE(cookie, 0u);
        manager.setPreventSleep(true);
        EXPECT_EQ(screenSaver.inhibitCalls, 1) << "held once";
        manager.setPreventSleep(false);
        manager.setPreventSleep(false);
        EXPECT_EQ(screenSaver.unInhibitCalls, 1) << "released once";
        EXPECT_EQ(screenSaver.lastReleased, cookie);
        EXPECT_EQ(manager.assertionID(), 0u);
    }

    // Refused at start, retried at the next switch on; a refused release still forgets.
    screenSaver.refuse = true;
    SystemSleepManager manager(bus.client());
    EXPECT_EQ(manager.assertionID(), 0u);
    screenSaver.refuse = false;
    manager.setPreventSleep(true);
    EXPECT_NE(manager.assertionID(), 0u);
    EXPECT_EQ(screenSaver.inhibitCalls, 3);
    screenSaver.refuse = true;
    manager.setPreventSleep(false);
    EXPECT_EQ(manager.assertionID(), 0u);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"SystemSleepManager: Sleep prevention enabled",
                                                     "SystemSleepManager: Sleep prevention disabled",
                                                     "SystemSleepManager: Failed to enable sleep prevention",
                                                     "SystemSleepManager: Sleep prevention enabled",
                                                     "SystemSleepManager: Failed to disable sleep prevention"}));
}

#include "test_system_sleep_manager.moc"
