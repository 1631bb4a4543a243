// The real program as a console meets it: ArtDmx obeyed and logged, timecode sent back, a missing
// clip's cue kept, and settings surviving a power cut.
#include "ConsoleTestSupport.h"

#include "core/BookmarkTable.h"
#include "core/TrackListCodec.h"
#include "net/ArtNetPacket.h"
#include "net/ArtNetTestSupport.h"
#include "platform/FileBookmark.h"
#include "support/DefaultPortsTurn.h"
#include "web/WebClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

// The test binary's sanitizer settings (tests/support/SanitizerOptions.cpp); a sanitized player
// needs the same ones, since its GLib and GStreamer keep the same blocks.
extern "C" const char* __asan_default_options();
extern "C" const char* __lsan_default_suppressions();

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The program under test as a child process (QProcess kills it, as a power cut would, when it
// goes); its standard output is read line by line.
class Player {
public:
    Player(const std::string& home)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        for (const auto& [k, v] : {std::pair<const char*, std::string>{"XDG_CONFIG_HOME", home + "/config"},
                                   {"XDG_DATA_HOME", home + "/data"},
                                   {"XDG_RUNTIME_DIR", home + "/runtime"},
                                   {"QT_QPA_PLATFORM", "offscreen"},
                                   {"GST_AUDIO_SINK", "fakesink"},
                                   {"ASAN_OPTIONS", __asan_default_options()},
                                   {"LSAN_OPTIONS", "suppressions=" + home + "/lsan.supp"}})
            env.insert(k, QString::fromStdString(v));
        process_.setProcessEnvironment(env);
        process_.setStandardErrorFile(QString::fromStdString(home + "/player-stderr.txt"));
        process_.start(QString::fromUtf8(std::getenv("ORVELO_BUILD_DIR")) + "/orvelo", {});
        process_.waitForStarted();
    }
    bool started() const { return process_.state() == QProcess::Running; }

    bool waitForLine(const std::string& line, std::chrono::milliseconds timeout = 5s)
    {
        return waitUntil([&] { return count(line) > 0 || !started(); }, timeout) && count(line) > 0;
    }

    const std::vector<std::string>& lines()
    {
        while (process_.waitForReadyRead(0)) {
        }
        while (process_.canReadLine())
            lines_.push_back(process_.readLine().chopped(1).toStdString());
        return lines_;
    }

    long count(const std::string& line) { return std::ranges::count(lines(), line); }
    long countStartingWith(const std::string& prefix)
    {
        return std::ranges::count_if(lines(), [&](const std::string& line) { return line.starts_with(prefix); });
    }
    // SIGTERM, then the exit status (or -1 when it did not end normally within 10 s).
    int terminate()
    {
        process_.terminate();
        const bool ended = process_.waitForFinished(10'000) && process_.exitStatus() == QProcess::NormalExit;
        return ended ? process_.exitCode() : -1;
    }

private:
    QProcess process_;
    std::vector<std::string> lines_;
};

struct Timecode {
    int hours, minutes, seconds, frames, type;
    double position() const { return minutes * 60.0 + seconds + frames / 25.0; }
};

// A console: sends its current frame 44 times a second from its own socket, and collects the
// ArtTimeCode packets that the player broadcasts to port 6454 in between. Those are received
// on the broadcast address, so the console's frames to 127.0.0.1:6454 still go to the player alone.
class Console {
public:
    Console() : listener_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        const int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(artnet::defaultPort);
        address.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        bound_ = ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        thread_ = std::thread([this] { run(); });
    }
    ~Console()
    {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    bool bound() const { return bound_; }
    // -1 falls silent.
    void set(int value) { value_ = value; }

    std::vector<Timecode> since(std::size_t from = 0) const
    {
        std::lock_guard lock(mutex_);
        return {received_.begin() + static_cast<std::ptrdiff_t>(std::min(from, received_.size())), received_.end()};
    }
    std::size_t count() const { return since().size(); }
    // The timecode received since `from`, once `ready` holds for it (or after 5 s).
    template <typename Ready> std::vector<Timecode> once(Ready ready, std::size_t from = 0) const
    {
        waitUntil([&] { return ready(since(from)); }, 5s);
        return since(from);
    }

private:
    void run()
    {
        UdpPeer socket;
        auto next = Clock::now();
        while (!stop_) {
            if (const int value = value_; value >= 0)
                socket.sendTo(artnet::defaultPort, artDmx(0, 0, 0, dmxFrame({value})));
            next += std::chrono::microseconds(1'000'000 / 44);
            // Until the next frame is due, each timecode packet as it comes.
            pollfd wait{listener_, POLLIN, 0};
            for (auto left = next - Clock::now(); left > 0ms; left = next - Clock::now())
                if (::poll(&wait, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count())) == 1)
                    receive();
        }
    }
    void receive()
    {
        std::uint8_t b[1024];
        const ssize_t n = ::recv(listener_, b, sizeof b, 0);
        const std::span<const std::uint8_t> datagram(b, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (artnet::decodeHeader(datagram) != artnet::opTimeCode || datagram.size() != artnet::timeCodeSize)
            return;
        std::lock_guard lock(mutex_);
        received_.push_back({b[17], b[16], b[15], b[14], b[18]});
    }

    int listener_;
    bool bound_ = false;
    std::atomic<int> value_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<Timecode> received_;
};

class ConsoleEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        for (const char* folder : {"/config/Orvelo", "/data", "/runtime"})
            QDir().mkpath(QString::fromStdString(home + folder));
        QFile::setPermissions(QString::fromStdString(home + "/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A stored playlist as the previous run left it: an intro on a drive not mounted yet
        // (no bookmark), main, and an outro that plays twice.
        auto stored = makeTracks({clip(2.0, 10), clip(12.0, 11), clip(1.0, 12)}, 3);
        stored[0] = {stored[0].id, QUrl::fromLocalFile(late), "intro.mp4", 0, 1};
        stored[1].name = "main.mp4";
        stored[2].name = "outro.mp4";
        stored[2].repeatCount = 2;
        BookmarkTable bookmarks;
        for (const MediaTrack& t : stored.mid(1))
            bookmarks.insert(TrackListCodec::idText(t.id), *FileBookmark::create(t.url));
        QSettings store(QString::fromStdString(home + "/config/Orvelo/Orvelo.conf"), QSettings::IniFormat);
        store.setValue("lastPlaylistData", *TrackListCodec::encode(stored));
        store.setValue("lastPlaylistBookmarks", bookmarks.encode());
        store.sync();
        ASSERT_EQ(store.status(), QSettings::NoError);
        std::ofstream(home + "/lsan.supp") << __lsan_default_suppressions();
    }

    // The player on the default ports, and a console sending to it and listening for its timecode.
    void startPlayer()
    {
        turn = std::make_unique<DefaultPortsTurn>();
        player = std::make_unique<Player>(home);
        ASSERT_TRUE(player->started());
        EXPECT_TRUE(player->waitForLine("DMXController: Loaded 3 tracks from last session", 10s));
        EXPECT_TRUE(player->waitForLine("ArtNetService: Listening on port 6454 (BSD socket with RDM support)", 10s));
        ASSERT_TRUE(player->waitForLine("WebServer: Listening on port 8080", 10s));
        console = std::make_unique<Console>();
        ASSERT_TRUE(console->bound());
    }

    // The player's own output, shown when a test fails.
    void TearDown() override
    {
        if (!HasFailure() || !player)
            return;
        std::ostringstream text;
        for (const auto& line : player->lines())
            text << "  " << line << "\n";
        ADD_FAILURE() << "player output:\n"
                      << text.str() << "stderr:\n"
                      << std::ifstream(home + "/player-stderr.txt").rdbuf();
    }

    const std::string home = tempDir() + "/e2e-" + std::to_string(::getpid());
    const QString late = QString::fromStdString(home + "/late drive/intro.mp4");
    std::unique_ptr<DefaultPortsTurn> turn;
    std::unique_ptr<Player> player;
    std::unique_ptr<Console> console;
};

// One run of the program through a show: cue, pause, resume, stop, a repeated outro, the
// missing intro, then settings that must survive the power cut.
TEST_F(ConsoleEndToEnd, ConsoleDrivesAShowAndSettingsSurviveAPowerCut)
{
    ASSERT_NO_FATAL_FAILURE(startPlayer());
    EXPECT_TRUE(player->waitForLine(
        "DMXController: Track not found, keeping its place: intro.mp4 (File not found: " + late.toStdString() + ")"));
    console->set(21);
    ASSERT_TRUE(player->waitForLine("DMXController: Switching track via DMX (Val: 21) -> main.mp4"));
    ASSERT_TRUE(player->waitForLine("PlaybackEngine: Track became ReadyToPlay: main.mp4"));
    auto sent = console->once([](const auto& tc) { return tc.size() > 5 && tc.back().position() > 0.3; });
    ASSERT_GT(sent.size(), 5u);
    EXPECT_EQ(sent.back().hours, 1) << "the second track is hour 1";
    // Held values repeat 44 times a second: playing or paused, they seek nothing. One timecode
    // packet per frame at any speed is the pacer's test.
    const auto seeks = [&] { return player->countStartingWith("MediaItem: Seek to"); };
    long seeksBefore = seeks();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(seeks(), seeksBefore) << "a held play value seeks nothing";
    // Paused, what timecode still comes (after the last in flight) stands still.
    console->set(6);
    ASSERT_TRUE(player->waitForLine("DMXController: Pausing via DMX (Val: 6)"));
    std::this_thread::sleep_for(300ms);
    const std::size_t atPause = console->count();
    const double pausedAt = console->since().back().position();
    seeksBefore = seeks();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(seeks(), seeksBefore) << "a held pause value seeks nothing";
    for (const Timecode& tc : console->since(atPause))
        EXPECT_EQ(tc.position(), pausedAt) << "timecode stands still while paused";
    const std::size_t beforeResume = console->count();
    console->set(21);
    ASSERT_TRUE(player->waitForLine("DMXController: Resuming track via DMX (Val: 21)"));
    sent = console->once([&](const auto& tc) { return !tc.empty() && tc.back().position() > pausedAt + 0.2; },
                         beforeResume);
    ASSERT_FALSE(sent.empty()) << "timecode again after resuming";
    EXPECT_GE(sent.front().position(), pausedAt) << "resumed where it stood";

    console->set(0);
    ASSERT_TRUE(player->waitForLine("DMXController: Stopping via DMX (Val: 0)"));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(std::tuple(console->since().back().hours, console->since().back().position()), std::tuple(1, 0.0))
        << "stopped at the start of its hour";
    // The outro (index 2) plays twice by its stored repeat count, then holds its end.
    console->set(31);
    ASSERT_TRUE(player->waitForLine("PlaybackEngine: Track became ReadyToPlay: outro.mp4"));
    console->set(-1);
    const std::size_t first = console->count();
    std::this_thread::sleep_for(3s);
    sent = console->since(first);
    ASSERT_GT(sent.size(), 20u);
    int restarts = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(std::tuple(sent[i].hours, sent[i].type), std::tuple(2, 1)) << "EBU: 25 fps is the default rate";
        restarts += i > 0 && sent[i].position() < sent[i - 1].position() - 0.5;
    }
    EXPECT_EQ(restarts, 1) << "played twice";
    // The missing intro reads failed, never "resumes", and is retried at most once a second
    // while held; it plays once the file appears.
    console->set(11);
    ASSERT_TRUE(
        player->waitForLine("PlaybackEngine: Failed to load track. Error: File not found: " + late.toStdString()));
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(jsonOf(call(8080, "GET", "/api/status"))["state"].toString(), "failed");
    EXPECT_EQ(player->count("DMXController: Resuming track via DMX (Val: 11)"), 0);
    const long tries = player->count("PlaybackEngine: loadAndPlay called for intro.mp4");
    EXPECT_TRUE(tries >= 2 && tries <= 4) << tries << " tries: retried, at most once a second";
    EXPECT_EQ(jsonOf(call(8080, "GET", "/api/playlist"))[0].toObject()["missing"].toBool(), true);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(late).path()));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(clip(2.0, 10)), late));
    EXPECT_TRUE(player->waitForLine("PlaybackEngine: Track became ReadyToPlay: intro.mp4"));
    // Held values repeat 44 times a second; each state change is logged once.
    for (const char* line :
         {"DMXController: Pausing via DMX (Val: 6)", "DMXController: Resuming track via DMX (Val: 21)",
          "DMXController: Stopping via DMX (Val: 0)", "PlaybackEngine: loadAndPlay called for main.mp4"})
        EXPECT_EQ(player->count(line), 1) << line;
    EXPECT_EQ(call(8080, "POST", "/api/settings",
                   R"J({"dmx":{"startChannel":5,"mode":"Loop (2 Ch)"},"theme":{"current":"daylight"}})J")
                  .status,
              200);
    // The theme is applied a turn after the answer: a power cut comes once it shows.
    ASSERT_TRUE(waitUntil([] { return jsonOf(call(8080, "GET", "/api/settings"))["theme"]["current"] == "daylight"; }));
    player.reset(); // killed: no chance to save anything on the way out
    console.reset();
    turn.reset(); // the next start takes the ports' turn again
    ASSERT_NO_FATAL_FAILURE(startPlayer());
    const QJsonDocument settings = jsonOf(call(8080, "GET", "/api/settings"));
    EXPECT_EQ(std::tuple(settings["dmx"]["startChannel"].toInt(), settings["dmx"]["mode"].toString(),
                         settings["theme"]["current"].toString()),
              std::tuple(5, QString("Loop (2 Ch)"), QString("daylight")));
    EXPECT_EQ(jsonOf(call(8080, "GET", "/api/playlist")).array().size(), 3);
    EXPECT_EQ(player->terminate(), 0);
}

} // namespace
