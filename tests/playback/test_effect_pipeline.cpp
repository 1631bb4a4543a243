// Protects the effect arithmetic on synthetic frames: pass-through, time shifts, displacement,
// channel enables, colour controls, inversion, I420 sources, against a per-pixel model.

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
constexpr double inf = std::numeric_limits<double>::infinity();

// Red ramps along x, green along y, blue is constant: every pixel tells where it came from.
const auto ramp = [](int x, int y) { return Rgba{3 * x + 5, 20 * y + 7, 100, 255}; };

::testing::AssertionResult near(const Rgba& got, const Rgba& expected, int tolerance)
{
    if (std::abs(got.r - expected.r) <= tolerance && std::abs(got.g - expected.g) <= tolerance &&
        std::abs(got.b - expected.b) <= tolerance && got.a == expected.a)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got << ", expected " << expected;
}

class EffectPipelineTest : public ::testing::Test {
protected:
    EffectPipeline::Result run(const EffectParameters& p) { return pipeline.compose(history, p); }

    // Composes the one frame `source` with `p`.
    VideoFramePtr composeOnly(VideoFramePtr source, const EffectParameters& p)
    {
        history.clear();
        history.append(std::move(source));
        auto result = run(p);
        EXPECT_EQ(result.outcome, Outcome::composed);
        return result.frame;
    }

    EffectPipeline pipeline;
    FrameHistory history;
};

TEST_F(EffectPipelineTest, NeutralParametersPassTheNewestFrameAndAnyDifferenceComposes)
{
    EXPECT_EQ(run({.brightness = 0.0001f}).outcome, Outcome::noSource);
    history.append(solidBgra(frameWidth, frameHeight, {1, 2, 3, 255}));
    auto newest = solidI420(frameWidth, frameHeight, 100, 128, 128);
    history.append(newest);
    const auto result = run({});
    EXPECT_EQ(result.outcome, Outcome::passThrough);
    EXPECT_EQ(result.frame.get(), newest.get());

    // A tiny brightness is an effect: a new frame at the source time, the colours as they were.
    auto source = bgraFrame(frameWidth, frameHeight, ramp);
    source->pts = 12.5;
    const auto out = composeOnly(source, {.brightness = 0.0001f});
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out.get(), source.get());
    EXPECT_EQ(out->pts, 12.5);
    EXPECT_EQ(pixelAt(*out, 69, 5), ramp(69, 5));
}

TEST_F(EffectPipelineTest, UnreadableFramesAreDeliveredAsTheyAre)
{
    auto broken = solidI420(frameWidth, frameHeight, 100, 128, 128);
    broken->data.resize(10);
    history.append(broken);
    const auto result = run({.brightness = 0.0001f});
    EXPECT_EQ(result.outcome, Outcome::unreadable);
    EXPECT_EQ(result.frame.get(), broken.get());

    // History frames of another size or a broken layout count as missing.
    const EffectParameters shifted{.timeShift = {1, 0, 0}};
    auto halved = solidBgra(frameWidth, frameHeight, {9, 9, 9, 255});
    halved->data.resize(halved->data.size() / 2);
    for (auto& older : {solidBgra(frameWidth + 2, frameHeight, {9, 9, 9, 255}), halved}) {
        history.clear();
        history.append(older);
        history.append(solidBgra(frameWidth, frameHeight, {1, 1, 1, 255}));
        EXPECT_EQ(run(shifted).outcome, Outcome::missingHistory);
    }
}

// What the random model below never reaches: offsets that are no use, every channel off or off
// the frame, and inversion of what no channel covers.
TEST_F(EffectPipelineTest, ChannelsOffTheFrameLeaveTransparentBlackEvenInverted)
{
    const EffectParameters cases[] = {
        {.isInverted = true, .horizontalOffset = {4.0, 4.0, 4.0}},
        {.horizontalOffset = {1000.0, std::nan(""), 0.0}, .verticalOffset = {0.0, 0.0, inf}},
        {.enabled = {false, false, false}},
    };
    for (const auto& p : cases) {
        const auto out = composeOnly(bgraFrame(frameWidth, frameHeight, ramp), p);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(pixelAt(*out, 2, 2), (Rgba{0, 0, 0, 0}));
    }
}

TEST(BgraConverterTest, DecodesKnownColoursPassesBgraAndRejectsBrokenFrames)
{
    struct Case {
        int y, u, v;
        YuvMatrix matrix;
        bool fullRange;
        Rgba expected;
    };
    const Case cases[] = {
        {173, 42, 26, YuvMatrix::bt709, false, {0, 255, 0, 255}},
        {81, 90, 240, YuvMatrix::bt601, false, {255, 0, 0, 255}},
        {128, 128, 128, YuvMatrix::bt709, true, {128, 128, 128, 255}},
        {0, 0, 0, YuvMatrix::bt709, false, {0, 77, 0, 255}}, // clamped
    };
    BgraConverter converter;
    for (const Case& c : cases) {
        const auto out = converter.convert(solidI420(38, 4, c.y, c.u, c.v, c.matrix, c.fullRange));
        ASSERT_NE(out, nullptr);
        EXPECT_TRUE(near(pixelAt(*out, 35, 1), c.expected, 3)) << c.y << "/" << c.u << "/" << c.v;
    }

    const VideoFramePtr bgra = solidBgra(4, 4, {1, 2, 3, 255});
    EXPECT_EQ(converter.convert(bgra).get(), bgra.get());
    EXPECT_EQ(converter.convert(nullptr), nullptr);
    auto broken = solidI420(4, 4, 16, 128, 128);
    broken->strides[1] = 0;
    EXPECT_EQ(converter.convert(broken), nullptr);
}

TEST_F(EffectPipelineTest, I420SourcesAreReadWithinTheirPlanesUnderEffects)
{
    struct Case {
        const char* what;
        int width, height, y, u, v;
        EffectParameters p;
        Rgba expected;
    };
    constexpr int w = frameWidth, h = frameHeight;
    const EffectParameters halfPixel{.horizontalOffset = {0.5, -0.5, 0.0}, .verticalOffset = {0.0, 0.5, -0.5}};
    const Case cases[] = {
        {"BT.709 red to luminance grey", w, h, 63, 102, 240, {.saturation = 0.0f}, {54, 54, 54, 255}},
        {"a faint tint saturated", w, h, 120, 140, 110, {.saturation = 50.0f}, {0, 255, 255, 255}},
        {"an unusable saturation is neutral", w, h, 126, 128, 128, {.saturation = NAN}, {128, 128, 128, 255}},
        // The last chroma column and row of 41 x 5 cover a single luma column and row.
        {"odd size", 41, 5, 126, 128, 128, halfPixel, {128, 128, 128, 255}},
    };
    for (const Case& c : cases) {
        const auto out = composeOnly(solidI420(c.width, c.height, c.y, c.u, c.v), c.p);
        ASSERT_NE(out, nullptr) << c.what;
        EXPECT_TRUE(near(pixelAt(*out, c.width - 2, 2), c.expected, 2)) << c.what;
    }

    // The same picture in both forms (uniform, so chroma subsampling does not matter) comes
    // out alike under strong effects.
    const EffectParameters strong{.brightness = -0.15f, .saturation = 1.7f, .isInverted = true};
    auto yuv = solidI420(frameWidth, frameHeight, 120, 150, 100);
    const Rgba fromYuv = pixelAt(*composeOnly(yuv, strong), 45, 2);
    const Rgba fromRgb = pixelAt(*composeOnly(BgraConverter().convert(yuv), strong), 45, 2);
    EXPECT_TRUE(near(fromYuv, fromRgb, 2));
}

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
        return std::clamp(lum + p.saturation * (rgb[channel] - lum) + 255.0 * p.brightness, 0.0, 255.0);
    }

    // The value, or nothing when no tap with weight fell on the frame.
    std::optional<double> sample(int channel, int x, int y) const
    {
        const auto c = static_cast<std::size_t>(channel);
        const VideoFrame& f = *history.delayed(p.timeShift[c]);
        const double u = x - p.horizontalOffset[c];
        const double v = y + p.verticalOffset[c];
        const int x0 = static_cast<int>(std::floor(u));
        const int y0 = static_cast<int>(std::floor(v));
        std::optional<double> sum;
        for (int j = 0; j < 2; ++j) {
            for (int i = 0; i < 2; ++i) {
                const double w = (i ? u - x0 : 1.0 - (u - x0)) * (j ? v - y0 : 1.0 - (v - y0));
                const int sx = x0 + i;
                const int sy = y0 + j;
                if (w > 0.0 && sx >= 0 && sy >= 0 && sx < f.width && sy < f.height)
                    sum = sum.value_or(0.0) + w * controlled(f, channel, sx, sy);
            }
        }
        return sum;
    }

    Rgba pixel(int x, int y) const
    {
        double value[3] = {0.0, 0.0, 0.0};
        bool covered = false;
        for (int c = 0; c < 3; ++c) {
            const auto v = sample(c, x, y);
            if (p.enabled[static_cast<std::size_t>(c)] && v) {
                value[c] = *v;
                covered = true;
            }
        }
        if (!covered)
            return {0, 0, 0, 0};
        auto finish = [&](double v) { return static_cast<int>(std::lround(p.isInverted ? 255.0 - v : v)); };
        return {finish(value[0]), finish(value[1]), finish(value[2]), 255};
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
    auto byte = [&] { return static_cast<int>(next() % 256); };

    FrameHistory history;
    for (int k = 0; k < 8; ++k)
        history.append(bgraFrame(83, 9, [&](int, int) { return Rgba{byte(), byte(), byte(), 255}; }));
    EffectPipeline pipeline;
    for (int round = 0; round < 12; ++round) {
        // Every third round moves by whole pixels only.
        auto offset = [&](double range) {
            const double value = uniform(-range, range);
            return round % 3 == 0 ? std::round(value) : value;
        };
        EffectParameters p;
        for (std::size_t c = 0; c < 3; ++c) {
            p.timeShift[c] = static_cast<int>(next() % 8);
            p.horizontalOffset[c] = offset(40);
            p.verticalOffset[c] = offset(5);
            p.enabled[c] = next() % 5 != 0;
        }
        p.saturation = static_cast<float>(uniform(0.0, 2.0));
        p.brightness = static_cast<float>(uniform(-0.5, 0.5));
        p.isInverted = next() % 2 == 0;

        const auto result = pipeline.compose(history, p);
        ASSERT_EQ(result.outcome, Outcome::composed);
        const Model model{history, p};
        int mismatches = 0;
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 83; ++x) {
                const auto match = near(pixelAt(*result.frame, x, y), model.pixel(x, y), 2);
                if (!match && ++mismatches <= 3)
                    ADD_FAILURE() << "round " << round << " pixel " << x << "," << y << ": " << match.message();
            }
        }
        EXPECT_EQ(mismatches, 0) << "round " << round;
    }
}

} // namespace
