// Protects the pattern catalogue: the display names that settings, the web API and logs use,
// and the case order that the DMX pattern channel counts through.
#include "playback/AudioVisualPattern.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace orvelo;

TEST(PatternCatalogue, ListsTenPatternsInChannelOrder)
{
    ASSERT_EQ(allAudioVisualPatterns.size(), 10u);
    const char* expected[] = {"Black Screen", "Abstract Colors", "Vertical Stripes", "Horizontal Stripes",
                              "Oscilloscope", "Spectrum Bars",   "Circular Wave",    "Waveform Mirror",
                              "Beat Strobe",  "Pulsing Ring"};
    for (size_t i = 0; i < allAudioVisualPatterns.size(); ++i)
        EXPECT_EQ(rawValue(allAudioVisualPatterns[i]), expected[i]) << i;
    EXPECT_EQ(allAudioVisualPatterns.front(), AudioVisualPattern::blackScreen);
    EXPECT_EQ(allAudioVisualPatterns.back(), AudioVisualPattern::pulsingRing);
}

TEST(PatternCatalogue, NamesReadBackOnlyWhenExact)
{
    std::set<std::string> seen;
    for (const auto pattern : allAudioVisualPatterns) {
        EXPECT_EQ(audioVisualPatternFromRawValue(rawValue(pattern)), pattern);
        seen.emplace(rawValue(pattern));
    }
    EXPECT_EQ(seen.size(), 10u);
    EXPECT_EQ(audioVisualPatternFromRawValue("Abstract Colors"), AudioVisualPattern::colorfulAbstract);
    EXPECT_EQ(audioVisualPatternFromRawValue("abstract colors"), std::nullopt);
    EXPECT_EQ(audioVisualPatternFromRawValue("colorfulAbstract"), std::nullopt);
    EXPECT_EQ(audioVisualPatternFromRawValue(""), std::nullopt);
    EXPECT_EQ(audioVisualPatternFromRawValue("Pulsing Ring "), std::nullopt);
}
