// Protects the effect arithmetic on synthetic frames: pass-through, time shifts, displacement by
// whole and fractional pixels, channel enables, colour controls, inversion, I420 sources.

#include "SyntheticFrames.h"

#include "playback/BgraConverter.h"
#include "playback/EffectParameters.h"
#include "playback/EffectPipeline.h"
#include "playback/FrameHistory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>

using namespace orvelo;
using orvelo::test::bgraFrame;
using orvelo::test::pixelAt;
using orvelo::test::Rgba;
using orvelo::test::solidBgra;
using orvelo::test::solidI420;

namespace {

using Outcome = EffectPipeline::Outcome;

// Wider than two blocks of the row kernels, so both their vector and their one-by-one parts run.
constexpr int frameWidth = 70;
constexpr int frameHeight = 6;

// Red ramps along x, green along y, blue is constant: every pixel tells where it came from.
int redAt(int x)
{
    return 3 * x + 5;
}

Rgba ramp(int x, int y)
{
    return {redAt(x), 20 * y + 7, 100, 255};
}

// A tiny brightness leaves the colours as they are but defeats the pass-through.
EffectParameters composing()
{
    EffectParameters p;
    p.brightness = 0.0001f;
    return p;
}

class EffectPipelineTest : public ::testing::Test {
protected:
    EffectPipeline::Result run(const EffectParameters& p) { return pipeline.compose(history, p); }

    // Composes one ramp frame with `p` and returns the result, which must be a new frame.
    VideoFramePtr composeRamp(const EffectParameters& p)
    {
        history.clear();
        history.append(bgraFrame(frameWidth, frameHeight, ramp));
        auto result = run(p);
        EXPECT_EQ(result.outcome, Outcome::Composed);
        return result.frame;
    }

    EffectPipeline pipeline;
    FrameHistory history;
};

// --- pass-through and history -----------------------------------------------------------------

TEST_F(EffectPipelineTest, NeutralParametersDeliverTheNewestFrameItself)
{
    const auto empty = run(composing());
    EXPECT_EQ(empty.outcome, Outcome::NoSource);
    EXPECT_EQ(empty.frame, nullptr);

    auto older = solidBgra(frameWidth, frameHeight, {1, 2, 3, 255});
    auto newest = solidI420(frameWidth, frameHeight, 100, 128, 128);
    history.append(older);
    history.append(newest);
    const auto result = run(EffectParameters{});
    EXPECT_EQ(result.outcome, Outcome::PassThrough);
    EXPECT_EQ(result.frame.get(), newest.get());
}

TEST_F(EffectPipelineTest, AnyDifferenceFromNeutralComposesEvenWhenThePixelsStayTheSame)
{
    auto source = bgraFrame(frameWidth, frameHeight, ramp);
    source->pts = 12.5;
    history.append(source);
    const auto result = run(composing());
    ASSERT_EQ(result.outcome, Outcome::Composed);
    EXPECT_NE(result.frame.get(), source.get());
    EXPECT_EQ(result.frame->format, PixelFormat::BGRA);
    EXPECT_EQ(result.frame->pts, 12.5) << "composed frames keep the source time";
    for (int y = 0; y < frameHeight; ++y)
        for (int x = 0; x < frameWidth; ++x)
            EXPECT_EQ(pixelAt(*result.frame, x, y), ramp(x, y)) << x << "," << y;
}

// Frame k of the history is grey k, so a composed pixel tells which frame each channel showed.
TEST_F(EffectPipelineTest, EachChannelShowsTheFrameItsShiftReachesBackWithinSixty)
{
    constexpr int maxValue = std::numeric_limits<int>::max();
    constexpr int minValue = std::numeric_limits<int>::min();
    struct Case {
        int frames;
        std::array<int, 3> shift;
        std::optional<Rgba> expected; // nothing: missing history, the newest frame unchanged
    };
    const Case cases[] = {
        {10, {3, 0, 1}, Rgba{6, 9, 8, 255}},
        {5, {0, 5, 0}, std::nullopt}, // past the history
        {5, {0, 4, 0}, Rgba{4, 0, 4, 255}},
        {100, {59, 0, 0}, Rgba{40, 99, 99, 255}},
        {100, {60, 0, 0}, std::nullopt}, // sixty or more is never found
        {100, {61, 0, 0}, std::nullopt},
        {100, {maxValue, 0, 0}, std::nullopt},
        {2, {-4, minValue, 0}, Rgba{1, 1, 1, 255}}, // negative shifts count as none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames, shift " << c.shift[0] << "/" << c.shift[1] << "/"
                                        << c.shift[2]);
        history.clear();
        for (int k = 0; k < c.frames; ++k)
            history.append(solidBgra(frameWidth, frameHeight, {k, k, k, 255}));
        EffectParameters p;
        p.timeShift = c.shift;
        const auto result = run(p);
        if (!c.expected) {
            EXPECT_EQ(result.outcome, Outcome::MissingHistory);
            EXPECT_EQ(result.frame.get(), history.newest().get());
            continue;
        }
        ASSERT_EQ(result.outcome, Outcome::Composed);
        EXPECT_EQ(pixelAt(*result.frame, 4, 2), *c.expected);
    }
}

TEST_F(EffectPipelineTest, HistoryFramesOfAnotherSizeOrBrokenLayoutCountAsMissing)
{
    history.append(solidBgra(frameWidth + 2, frameHeight, {9, 9, 9, 255}));
    history.append(solidBgra(frameWidth, frameHeight, {1, 1, 1, 255}));
    EffectParameters p;
    p.timeShift = {1, 0, 0};
    EXPECT_EQ(run(p).outcome, Outcome::MissingHistory);

    auto broken = solidBgra(frameWidth, frameHeight, {9, 9, 9, 255});
    broken->data.resize(broken->data.size() / 2);
    history.clear();
    history.append(broken);
    history.append(solidBgra(frameWidth, frameHeight, {1, 1, 1, 255}));
    EXPECT_EQ(run(p).outcome, Outcome::MissingHistory);
}

TEST_F(EffectPipelineTest, AnUnreadableNewestFrameIsDeliveredAsItIs)
{
    auto broken = solidI420(frameWidth, frameHeight, 100, 128, 128);
    broken->data.resize(10);
    history.append(broken);
    const auto result = run(composing());
    EXPECT_EQ(result.outcome, Outcome::Unreadable);
    EXPECT_EQ(result.frame.get(), broken.get());
}

// --- displacement --------------------------------------------------------------------------

TEST_F(EffectPipelineTest, WholePixelOffsetsMoveOneChannelAndLeaveZeroBehind)
{
    EffectParameters p;
    p.horizontalOffset = {10.0, 0.0, 0.0};
    auto out = composeRamp(p);
    for (int x = 0; x < frameWidth; ++x) {
        const Rgba expected{x >= 10 ? redAt(x - 10) : 0, 20 * 3 + 7, 100, 255};
        EXPECT_EQ(pixelAt(*out, x, 3), expected) << "x " << x;
    }

    p.horizontalOffset = {-3.0, 0.0, 0.0};
    out = composeRamp(p);
    for (int x = 0; x < frameWidth; ++x)
        EXPECT_EQ(pixelAt(*out, x, 0).r, x + 3 < frameWidth ? redAt(x + 3) : 0) << "x " << x;
}

TEST_F(EffectPipelineTest, PositiveVerticalOffsetsMoveUp)
{
    EffectParameters p;
    p.verticalOffset = {0.0, 2.0, 0.0};
    auto out = composeRamp(p);
    for (int y = 0; y < frameHeight; ++y) {
        const int expected = y + 2 < frameHeight ? 20 * (y + 2) + 7 : 0;
        EXPECT_EQ(pixelAt(*out, 5, y), (Rgba{redAt(5), expected, 100, 255})) << "row " << y;
    }

    p.verticalOffset = {0.0, -1.0, 0.0};
    out = composeRamp(p);
    EXPECT_EQ(pixelAt(*out, 5, 0).g, 0);
    EXPECT_EQ(pixelAt(*out, 5, 1).g, 7);
    EXPECT_EQ(pixelAt(*out, 5, 5).g, 87);
}

TEST_F(EffectPipelineTest, PixelsNoChannelCoversAreTransparentBlackEvenInverted)
{
    EffectParameters p;
    p.horizontalOffset = {4.0, 4.0, 4.0};
    p.isInverted = true;
    auto out = composeRamp(p);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(pixelAt(*out, x, 1), (Rgba{0, 0, 0, 0})) << "x " << x;
    EXPECT_EQ(pixelAt(*out, 4, 1), (Rgba{255 - redAt(0), 228, 155, 255}));

    p.horizontalOffset = {1000.0, -1.0e300, std::numeric_limits<double>::infinity()};
    out = composeRamp(p);
    EXPECT_EQ(pixelAt(*out, 7, 3), (Rgba{0, 0, 0, 0}));
}

TEST_F(EffectPipelineTest, InvertedUncoveredComponentTurnsFull)
{
    EffectParameters p;
    p.horizontalOffset = {3.0, 0.0, 0.0};
    p.isInverted = true;
    auto out = composeRamp(p);
    EXPECT_EQ(pixelAt(*out, 0, 0), (Rgba{255, 248, 155, 255}));
    EXPECT_EQ(pixelAt(*out, 3, 0), (Rgba{255 - redAt(0), 248, 155, 255}));
    EXPECT_EQ(pixelAt(*out, 50, 0), (Rgba{255 - redAt(47), 248, 155, 255}));
}

TEST_F(EffectPipelineTest, UnusableOffsetsTakeTheChannelOffTheFrame)
{
    EffectParameters p;
    p.horizontalOffset = {std::nan(""), 0.0, 0.0};
    auto out = composeRamp(p);
    EXPECT_EQ(pixelAt(*out, 2, 2), (Rgba{0, 47, 100, 255}));
}

// --- enables, colour controls, inversion ---------------------------------------------------

TEST_F(EffectPipelineTest, ADisabledChannelIsZeroAndNoChannelLeavesTransparentBlack)
{
    EffectParameters p;
    p.enabled = {true, false, true};
    EXPECT_EQ(pixelAt(*composeRamp(p), 8, 3), (Rgba{redAt(8), 0, 100, 255}));
    p.enabled = {false, false, false};
    EXPECT_EQ(pixelAt(*composeRamp(p), 8, 3), (Rgba{0, 0, 0, 0}));
}

struct ColourCase {
    float saturation;
    float brightness;
    Rgba expected;
};

class ColourControlsTest : public ::testing::TestWithParam<ColourCase> {};

// Source (200, 100, 50): Rec. 709 luminance 117.65.
TEST_P(ColourControlsTest, SaturationInterpolatesFromLuminanceGreyAndBrightnessOffsets)
{
    const ColourCase c = GetParam();
    FrameHistory history;
    history.append(solidBgra(40, 3, {200, 100, 50, 255}));
    EffectParameters p;
    p.saturation = c.saturation;
    p.brightness = c.brightness;
    EffectPipeline pipeline;
    const auto result = pipeline.compose(history, p);
    ASSERT_EQ(result.outcome, Outcome::Composed);
    const Rgba got = pixelAt(*result.frame, 35, 1);
    EXPECT_EQ(got, pixelAt(*result.frame, 1, 1));
    EXPECT_NEAR(got.r, c.expected.r, 1);
    EXPECT_NEAR(got.g, c.expected.g, 1);
    EXPECT_NEAR(got.b, c.expected.b, 1);
    EXPECT_EQ(got.a, 255);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ColourControlsTest,
    ::testing::Values(ColourCase{0.0f, 0.0f, {118, 118, 118, 255}}, // grey
                      ColourCase{1.5f, 0.0f, {241, 91, 16, 255}},   // extrapolated
                      ColourCase{2.0f, 0.0f, {255, 82, 0, 255}},    // clamped at both ends
                      ColourCase{1.0f, 0.2f, {251, 151, 101, 255}}, // offset of 0.2 * 255
                      ColourCase{1.0f, -1.0f, {0, 0, 0, 255}}, ColourCase{1.0f, 1.0f, {255, 255, 255, 255}},
                      ColourCase{1.5f, 0.2f, {255, 142, 67, 255}},
                      ColourCase{std::nanf(""), 0.0f, {200, 100, 50, 255}}, // unusable: neutral
                      ColourCase{1.0e30f, 0.0f, {255, 0, 0, 255}},
                      ColourCase{1.0f, std::numeric_limits<float>::infinity(), {255, 255, 255, 255}}));

// --- I420 sources ---------------------------------------------------------------------------

struct YuvCase {
    int y, u, v;
    YuvMatrix matrix;
    bool fullRange;
    Rgba expected;
};

class YuvConversionTest : public ::testing::TestWithParam<YuvCase> {};

TEST_P(YuvConversionTest, DecodesKnownColours)
{
    const YuvCase c = GetParam();
    BgraConverter converter;
    const auto out = converter.convert(solidI420(38, 4, c.y, c.u, c.v, c.matrix, c.fullRange));
    ASSERT_NE(out, nullptr);
    const Rgba got = pixelAt(*out, 35, 1);
    EXPECT_EQ(got, pixelAt(*out, 2, 3));
    EXPECT_NEAR(got.r, c.expected.r, 3);
    EXPECT_NEAR(got.g, c.expected.g, 3);
    EXPECT_NEAR(got.b, c.expected.b, 3);
    EXPECT_EQ(got.a, 255);
}

INSTANTIATE_TEST_SUITE_P(Colours, YuvConversionTest,
                         ::testing::Values(YuvCase{235, 128, 128, YuvMatrix::BT709, false, {255, 255, 255, 255}},
                                           YuvCase{16, 128, 128, YuvMatrix::BT709, false, {0, 0, 0, 255}},
                                           YuvCase{126, 128, 128, YuvMatrix::BT709, false, {128, 128, 128, 255}},
                                           YuvCase{63, 102, 240, YuvMatrix::BT709, false, {255, 0, 0, 255}},
                                           YuvCase{173, 42, 26, YuvMatrix::BT709, false, {0, 255, 0, 255}},
                                           YuvCase{81, 90, 240, YuvMatrix::BT601, false, {255, 0, 0, 255}},
                                           YuvCase{128, 128, 128, YuvMatrix::BT709, true, {128, 128, 128, 255}},
                                           YuvCase{0, 0, 0, YuvMatrix::BT709, false, {0, 77, 0, 255}}, // clamped
                                           YuvCase{255, 255, 255, YuvMatrix::BT709, false, {255, 184, 255, 255}}));

TEST(BgraConverterTest, PassesBgraThroughAndRejectsBrokenFrames)
{
    BgraConverter converter;
    const VideoFramePtr bgra = solidBgra(4, 4, {1, 2, 3, 255});
    EXPECT_EQ(converter.convert(bgra).get(), bgra.get());
    EXPECT_EQ(converter.convert(nullptr), nullptr);
    auto broken = solidI420(4, 4, 16, 128, 128);
    broken->strides[1] = 0;
    EXPECT_EQ(converter.convert(broken), nullptr);
}

TEST_F(EffectPipelineTest, I420SaturationZeroGivesLuminanceGrey)
{
    history.append(solidI420(frameWidth, frameHeight, 63, 102, 240)); // BT.709 red
    EffectParameters p;
    p.saturation = 0.0f;
    const auto result = run(p);
    ASSERT_EQ(result.outcome, Outcome::Composed);
    const Rgba got = pixelAt(*result.frame, 50, 3);
    EXPECT_NEAR(got.r, 54, 2); // 0.2126 * 255
    EXPECT_EQ(got.r, got.g);
    EXPECT_EQ(got.g, got.b);
}

TEST_F(EffectPipelineTest, I420ExtremeSaturationSaturatesColoursAndLeavesGreyAlone)
{
    EffectParameters p;
    p.saturation = 50.0f;
    history.append(solidI420(frameWidth, frameHeight, 120, 140, 110)); // a faint tint
    auto result = run(p);
    ASSERT_EQ(result.outcome, Outcome::Composed);
    EXPECT_EQ(pixelAt(*result.frame, 40, 1), (Rgba{0, 255, 255, 255}));

    history.append(solidI420(frameWidth, frameHeight, 126, 128, 128)); // grey has nothing to saturate
    result = run(p);
    ASSERT_EQ(result.outcome, Outcome::Composed);
    EXPECT_EQ(pixelAt(*result.frame, 40, 1), (Rgba{128, 128, 128, 255}));
}

TEST_F(EffectPipelineTest, I420AndBgraSourcesAgreeUnderStrongEffects)
{
    // The same picture in both forms: mid grey with a colour tint, uniform so that chroma
    // subsampling does not matter.
    BgraConverter converter;
    auto yuv = solidI420(frameWidth, frameHeight, 120, 150, 100);
    const auto rgb = converter.convert(yuv);
    EffectParameters p;
    p.saturation = 1.7f;
    p.brightness = -0.15f;
    p.isInverted = true;

    history.append(yuv);
    const auto fromYuv = run(p);
    history.clear();
    history.append(rgb);
    const auto fromRgb = run(p);
    ASSERT_EQ(fromYuv.outcome, Outcome::Composed);
    ASSERT_EQ(fromRgb.outcome, Outcome::Composed);
    const Rgba a = pixelAt(*fromYuv.frame, 45, 2);
    const Rgba b = pixelAt(*fromRgb.frame, 45, 2);
    EXPECT_NEAR(a.r, b.r, 2);
    EXPECT_NEAR(a.g, b.g, 2);
    EXPECT_NEAR(a.b, b.b, 2);
}

TEST_F(EffectPipelineTest, OddSizedI420FramesAreReadWithinTheirPlanes)
{
    // 41 x 5: the last chroma column and row cover a single luma column and row.
    history.append(solidI420(41, 5, 126, 128, 128));
    EffectParameters p;
    p.horizontalOffset = {0.5, -0.5, 0.0};
    p.verticalOffset = {0.0, 0.5, -0.5};
    const auto result = run(p);
    ASSERT_EQ(result.outcome, Outcome::Composed);
    EXPECT_EQ(result.frame->width, 41);
    EXPECT_EQ(result.frame->height, 5);
    EXPECT_EQ(pixelAt(*result.frame, 3, 2), (Rgba{128, 128, 128, 255}));
    EXPECT_EQ(pixelAt(*result.frame, 39, 2), (Rgba{128, 128, 128, 255}));
}

// --- against a plain model ------------------------------------------------------------------

// The effects written out per pixel in doubles: the colour-controlled component of the delayed
// frame, sampled bilinearly at (x - dx, y + dy) with zero outside the frame.
struct Model {
    const FrameHistory& history;
    const EffectParameters& p;

    double controlled(const VideoFrame& f, int channel, int x, int y) const
    {
        const Rgba px = pixelAt(f, x, y);
        const double lum = 0.2126 * px.r + 0.7152 * px.g + 0.0722 * px.b;
        const int rgb[3] = {px.r, px.g, px.b};
        const double v = lum + p.saturation * (rgb[channel] - lum) + 255.0 * p.brightness;
        return std::clamp(v, 0.0, 255.0);
    }

    // The value and whether any tap with weight fell on the frame.
    std::pair<double, bool> sample(int channel, int x, int y) const
    {
        const auto c = static_cast<std::size_t>(channel);
        const VideoFrame& f = *history.delayed(p.timeShift[c]);
        const double u = x - p.horizontalOffset[c];
        const double v = y + p.verticalOffset[c];
        const int x0 = static_cast<int>(std::floor(u));
        const int y0 = static_cast<int>(std::floor(v));
        const double fx = u - x0;
        const double fy = v - y0;
        double sum = 0.0;
        bool covered = false;
        for (int j = 0; j < 2; ++j) {
            for (int i = 0; i < 2; ++i) {
                const double w = (i ? fx : 1.0 - fx) * (j ? fy : 1.0 - fy);
                const int sx = x0 + i;
                const int sy = y0 + j;
                if (w <= 0.0 || sx < 0 || sy < 0 || sx >= f.width || sy >= f.height)
                    continue;
                covered = true;
                sum += w * controlled(f, channel, sx, sy);
            }
        }
        return {sum, covered};
    }
};

TEST(EffectPipelineModelTest, WideRandomFramesMatchThePlainModel)
{
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto uniform = [&](double lo, double hi) { return lo + (hi - lo) * (next() % 10000) / 9999.0; };

    FrameHistory history;
    for (int k = 0; k < 8; ++k)
        history.append(bgraFrame(83, 9, [&](int, int) {
            return Rgba{static_cast<int>(next() % 256), static_cast<int>(next() % 256), static_cast<int>(next() % 256),
                        255};
        }));
    EffectPipeline pipeline;
    for (int round = 0; round < 12; ++round) {
        EffectParameters p;
        for (std::size_t c = 0; c < 3; ++c) {
            p.timeShift[c] = static_cast<int>(next() % 8);
            p.horizontalOffset[c] = round % 3 == 0 ? std::round(uniform(-40, 40)) : uniform(-40, 40);
            p.verticalOffset[c] = round % 3 == 0 ? std::round(uniform(-5, 5)) : uniform(-5, 5);
            p.enabled[c] = next() % 5 != 0;
        }
        p.saturation = static_cast<float>(uniform(0.0, 2.0));
        p.brightness = static_cast<float>(uniform(-0.5, 0.5));
        p.isInverted = next() % 2 == 0;

        const auto result = pipeline.compose(history, p);
        ASSERT_EQ(result.outcome, Outcome::Composed);
        const Model model{history, p};
        int mismatches = 0;
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 83; ++x) {
                double value[3];
                bool anyCovered = false;
                for (int c = 0; c < 3; ++c) {
                    const auto [v, covered] = model.sample(c, x, y);
                    const bool on = p.enabled[static_cast<std::size_t>(c)] && covered;
                    value[c] = on ? v : 0.0;
                    anyCovered = anyCovered || on;
                }
                Rgba expected{0, 0, 0, 0};
                if (anyCovered) {
                    auto finish = [&](double v) { return static_cast<int>(std::lround(p.isInverted ? 255.0 - v : v)); };
                    expected = {finish(value[0]), finish(value[1]), finish(value[2]), 255};
                }
                const Rgba got = pixelAt(*result.frame, x, y);
                const bool close = std::abs(got.r - expected.r) <= 2 && std::abs(got.g - expected.g) <= 2 &&
                                   std::abs(got.b - expected.b) <= 2 && got.a == expected.a;
                if (!close && ++mismatches <= 3)
                    ADD_FAILURE() << "round " << round << " pixel " << x << "," << y << ": " << got << " expected "
                                  << expected;
            }
        }
        EXPECT_EQ(mismatches, 0) << "round " << round;
    }
}

} // namespace
