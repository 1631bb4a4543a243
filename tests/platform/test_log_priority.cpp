#include "platform/LogPriority.h"

#include <gtest/gtest.h>

using namespace orvelo;

TEST(LogPriority, FailuresAreErrorsDoubtsWarningsTheRestInfo)
{
    for (const char* line : {"PlaybackEngine: Failed to load track. Error: no such file", "ArtNet Send Error: Network is unreachable",
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
