// Protects display-sleep prevention against a fake freedesktop screen saver on a private
// session bus: one inhibition at a time, release on request, retry after a refusal, and a clear
// failure line without a bus.
#include "settings/SystemSleepManager.h"

#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
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
    std::atomic<int> inhibitCalls{0};
    std::atomic<int> unInhibitCalls{0};
    std::atomic<bool> refuse{false};
    std::atomic<uint> lastReleased{0};
    std::atomic<bool> namedTheApplication{false};

public slots:
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

class SystemSleepManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        busDir = new QTemporaryDir(QString::fromStdString(tempDir()) + "/bus-XXXXXX");
        daemon = new QProcess;
        daemon->start("dbus-daemon",
                      {"--session", "--nofork", "--print-address", "--address=unix:dir=" + busDir->path()});
        if (!daemon->waitForReadyRead(5000))
            return;
        address = QString::fromUtf8(daemon->readLine()).trimmed();

        serviceThread = new QThread;
        serviceThread->start();
        screenSaver = new FakeScreenSaver;
        screenSaver->moveToThread(serviceThread);
        auto service = QDBusConnection::connectToBus(address, "fake-screensaver");
        service.registerObject("/org/freedesktop/ScreenSaver", screenSaver, QDBusConnection::ExportAllSlots);
        service.registerService("org.freedesktop.ScreenSaver");
    }

    static void TearDownTestSuite()
    {
        QDBusConnection::disconnectFromBus("fake-screensaver");
        QDBusConnection::disconnectFromBus("sleep-manager");
        if (serviceThread) {
            serviceThread->quit();
            serviceThread->wait();
        }
        delete screenSaver;
        delete serviceThread;
        daemon->kill();
        daemon->waitForFinished();
        delete daemon;
        delete busDir;
    }

    void SetUp() override
    {
        ASSERT_FALSE(address.isEmpty()) << "dbus-daemon did not start";
        screenSaver->inhibitCalls = 0;
        screenSaver->unInhibitCalls = 0;
        screenSaver->refuse = false;
    }

    static QDBusConnection clientBus() { return QDBusConnection::connectToBus(address, "sleep-manager"); }

    static inline QTemporaryDir* busDir = nullptr;
    static inline QProcess* daemon = nullptr;
    static inline QString address;
    static inline QThread* serviceThread = nullptr;
    static inline FakeScreenSaver* screenSaver = nullptr;
};

} // namespace

TEST_F(SystemSleepManagerTest, FirstUseInhibitsOnceAndReleaseEndsIt)
{
    LogCapture log;
    SystemSleepManager manager(clientBus());
    EXPECT_TRUE(manager.preventSleep());
    EXPECT_EQ(screenSaver->inhibitCalls, 1);
    EXPECT_TRUE(screenSaver->namedTheApplication);
    const uint cookie = manager.assertionID();
    EXPECT_NE(cookie, 0u);

    manager.setPreventSleep(true);
    EXPECT_EQ(screenSaver->inhibitCalls, 1);
    EXPECT_EQ(manager.assertionID(), cookie);

    manager.setPreventSleep(false);
    EXPECT_EQ(screenSaver->unInhibitCalls, 1);
    EXPECT_EQ(screenSaver->lastReleased, cookie);
    EXPECT_EQ(manager.assertionID(), 0u);
    manager.setPreventSleep(false);
    EXPECT_EQ(screenSaver->unInhibitCalls, 1);

    EXPECT_EQ(log.lines(), (std::vector<std::string>{"SystemSleepManager: Sleep prevention enabled",
                                                     "SystemSleepManager: Sleep prevention disabled"}));
}

TEST_F(SystemSleepManagerTest, ARefusalIsRetriedAtTheNextSwitchOnAndAFailedReleaseStillForgets)
{
    screenSaver->refuse = true;
    LogCapture log;
    SystemSleepManager manager(clientBus());
    EXPECT_EQ(manager.assertionID(), 0u);
    EXPECT_TRUE(manager.preventSleep());

    screenSaver->refuse = false;
    manager.setPreventSleep(true);
    EXPECT_NE(manager.assertionID(), 0u);
    EXPECT_EQ(screenSaver->inhibitCalls, 2);

    screenSaver->refuse = true;
    manager.setPreventSleep(false);
    EXPECT_EQ(manager.assertionID(), 0u);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"SystemSleepManager: Failed to enable sleep prevention",
                                                     "SystemSleepManager: Sleep prevention enabled",
                                                     "SystemSleepManager: Failed to disable sleep prevention"}));
}

TEST(SystemSleepManagerWithoutBus, LogsTheFailureAndRunsOn)
{
    const QTemporaryDir nowhere(QString::fromStdString(tempDir()) + "/nobus-XXXXXX");
    auto bus = QDBusConnection::connectToBus("unix:path=" + nowhere.filePath("no-socket"), "no-bus");
    ASSERT_FALSE(bus.isConnected());
    LogCapture log;
    SystemSleepManager manager(bus);
    EXPECT_EQ(manager.assertionID(), 0u);
    EXPECT_TRUE(manager.preventSleep());
    manager.setPreventSleep(true);
    manager.setPreventSleep(false);
    EXPECT_FALSE(manager.preventSleep());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"SystemSleepManager: Failed to enable sleep prevention",
                                                     "SystemSleepManager: Failed to enable sleep prevention"}));
    QDBusConnection::disconnectFromBus("no-bus");
}

#include "test_system_sleep_manager.moc"
