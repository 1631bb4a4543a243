// The log: the first line is written at once, repeats and floods become one count per second
// without holding back other senders, and each line reaches the journal with its priority.
#include "platform/LogLimiter.h"
#include "platform/LogPriority.h"

#include <gtest/gtest.h>

using namespace orvelo;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

TEST(LogLimiter, ARepeatIsWrittenOnceThenCounted)
{
    LogLimiter limiter;
    const auto t0 = LogLimiter::Clock::now();
    const std::string tc = "ArtNetService: Received OpCode 0x9700 (19 bytes)";
    EXPECT_EQ(limiter.offer(tc, {}, t0), Lines{tc});
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(limiter.offer(tc, {}, t0 + i * 40ms), Lines{}) << i;
    EXPECT_EQ(limiter.offer("WebServer: GET /", {}, t0 + 900ms), Lines{"WebServer: GET /"});
    // The count comes with the first line after its second, ahead of it.
    EXPECT_EQ(limiter.offer(tc, {}, t0 + 1000ms), (Lines{tc + " (repeated 12 times)", tc}));
    EXPECT_EQ(limiter.offer(tc, {}, t0 + 1500ms), Lines{});
    EXPECT_EQ(limiter.offer("x", {}, t0 + 2100ms), (Lines{tc + " (repeated 1 time)", "x"}));
}

TEST(LogLimiter, AFloodFromOneSenderIsCappedAndCountedOnceWithoutBuryingOthers)
{
    LogLimiter limiter;
    const auto t0 = LogLimiter::Clock::now();
    const std::string junk = "ArtNetService: OpCode 0x2400 from 10.0.0.9";
    int written = 0;
    for (int i = 0; i < 100; ++i) {
        const std::string line = "ArtNetService: Received OpCode 0x2400 (" + std::to_string(14 + i % 10) + " bytes)";
        written += static_cast<int>(limiter.offer(line, junk, t0 + i * 5ms).size());
        if (i == 50) {
            EXPECT_EQ(limiter.offer("DMXController: Stopping via DMX (Val: 0)", {}, t0 + i * 5ms),
                      Lines{"DMXController: Stopping via DMX (Val: 0)"});
            EXPECT_EQ(limiter.offer("ArtNetService: Received OpPoll", "ArtNetService: OpCode 0x2000 from 10.0.0.7",
                                    t0 + i * 5ms),
                      Lines{"ArtNetService: Received OpPoll"});
        }
    }
    EXPECT_EQ(written, LogLimiter::linesPerKey);
    const Lines after = limiter.offer("ArtNetService: Received OpCode 0x2400 (9 bytes)", junk, t0 + 1s);
    EXPECT_EQ(after, (Lines{junk + " (95 more lines not shown)", "ArtNetService: Received OpCode 0x2400 (9 bytes)"}));
}

TEST(LogPriority, FailuresAreErrorsDoubtsWarningsTheRestInfo)
{
    for (const char* line :
         {"PlaybackEngine: Failed to load track. Error: no such file", "ArtNet Send Error: Network is unreachable",
          "LtcSender: LTC cannot be sent: No audio output device \"hw:7,0\"",
          "CITPService: TCP bind failed: Address already in use"})
        EXPECT_EQ(priorityOf(line), LogPriority::Error) << line;
    for (const char* line : {"ArtNetService: Warning - Failed to clear port 6454: busy",
                             "ArtNetService: Reading on after a passing receive failure: No buffer space available",
                             "WebServer: Refused GET /api/x from 10.0.0.9", "WebServer: Track not found: 7",
                             "DMXController: Transport from the web ignored while following timecode"})
        EXPECT_EQ(priorityOf(line), LogPriority::Warning) << line;
    for (const char* line : {"WebServer: Listening on port 8080", "DMXController: Switching track via DMX (Val: 12)",
                             "Successfully registered Digital-7 font"})
        EXPECT_EQ(priorityOf(line), LogPriority::Info) << line;
}

TEST(LogPriority, OnlyTheStreamSystemdNamedIsTheJournal)
{
    EXPECT_TRUE(isJournalStream("8:123456", 8, 123456));
    EXPECT_FALSE(isJournalStream("8:123456", 8, 99)); // standard output redirected elsewhere
    EXPECT_FALSE(isJournalStream(nullptr, 8, 123456));
    for (const char* bad : {"", "8", "8:", ":5", "x:5", "8:5x", "-1:5"})
        EXPECT_FALSE(isJournalStream(bad, 8, 5)) << bad;
}
