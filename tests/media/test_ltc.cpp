// Timecode in audio: every frame written comes back once and in place, noise yields nothing, the
// output writes what is due and falls silent when held, and failures to open say why at once.
#include "platform/media/AudioOutput.h"
#include "platform/media/GStreamerInit.h"
#include "platform/media/GstHandle.h"
#include "platform/media/LtcDecoder.h"
#include "platform/media/LtcEncoder.h"
#include "platform/media/LtcInput.h"
#include "platform/media/LtcOutput.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"

#include <gst/app/gstappsrc.h>
#include <ltc.h>

#include <cmath>
#include <cstring>
#include <future>
#include <mutex>
#include <numbers>
#include <random>
#include <thread>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// `count` consecutive frames from `first`, and with `closed` one more after them: a frame's
// last bit ends only at the next frame's first edge.
template <typename Sample> std::vector<Sample> encodeRun(LtcEncoder& encoder, const LtcTimecode& first, int count,
                                                         std::vector<LtcTimecode>& sent, bool closed = true)
{
    std::vector<Sample> out;
    const auto start = first.toFrameCount(encoder.fps());
    for (int i = 0; i < count + (closed ? 1 : 0); ++i) {
        const auto time = LtcTimecode::fromFrameCount(start + i, encoder.fps());
        const auto frame = [&] {
            if constexpr (std::is_same_v<Sample, float>)
                return encoder.encodeFloat(time);
            else
                return encoder.encodeS16(time);
        }();
        out.insert(out.end(), frame.begin(), frame.end());
        if (i < count)
            sent.push_back(time);
    }
    return out;
}

std::vector<LtcTimecode> timecodes(const std::vector<LtcDecoder::Frame>& frames)
{
    std::vector<LtcTimecode> out;
    for (const auto& f : frames)
        out.push_back(f.timecode);
    return out;
}

// What an input reported, from its streaming thread.
struct Received {
    std::mutex mutex;
    std::vector<LtcDecoder::Frame> frames;
    std::promise<std::optional<LtcInput::Failure>> end;

    std::variant<std::unique_ptr<LtcInput>, LtcInput::Failure> start(const LtcInput::Options& options)
    {
        return LtcInput::start(
            options,
            [this](const LtcDecoder::Frame& frame, std::chrono::steady_clock::time_point) {
                std::lock_guard lock(mutex);
                frames.push_back(frame);
            },
            [this](const std::optional<LtcInput::Failure>& failure) { end.set_value(failure); });
    }
};

struct FileCase {
    int fps;
    int fileRate;
    bool s16;
    int channels;
    int ltcChannel; // the other channel carries a tone
};

// Ten seconds of timecode on one channel, a tone on the other; the file's path, "" on failure.
template <typename Sample> std::string writeLtcFile(const FileCase& c, std::vector<LtcTimecode>& sent)
{
    auto encoder = LtcEncoder::create(c.fps, c.fileRate);
    if (!encoder)
        return {};
    const auto ltc = encodeRun<Sample>(*encoder, {0, 59, 55, 0}, 10 * c.fps, sent); // through a minute and an hour
    const double toneLevel = std::is_same_v<Sample, float> ? 0.5 : 16000;
    std::vector<Sample> interleaved;
    for (std::size_t i = 0; i < ltc.size(); ++i)
        for (int ch = 0; ch < c.channels; ++ch)
            interleaved.push_back(ch == c.ltcChannel ? ltc[i]
                                                     : static_cast<Sample>(toneLevel * std::sin(2 * std::numbers::pi *
                                                                                                440 * i / c.fileRate)));
    const std::string path = tempDir() + "/ltc" + std::to_string(c.fps) + ".wav";
    return MediaFiles::writeWav(path, interleaved, c.fileRate, c.channels) ? path : "";
}

} // namespace

TEST(Ltc, TenSecondsWrittenToAFileComeBackEveryFrameInOrderWhereTheyLie)
{
    for (const FileCase c : {FileCase{25, 48000, false, 2, 1}, FileCase{30, 44100, true, 1, 0}}) {
        SCOPED_TRACE(c.fps);
        std::vector<LtcTimecode> sent;
        const std::string path = c.s16 ? writeLtcFile<std::int16_t>(c, sent) : writeLtcFile<float>(c, sent);
        ASSERT_FALSE(path.empty());

        Received received;
        auto ended = received.end.get_future();
        const auto before = std::chrono::steady_clock::now();
        auto started = received.start({LtcInput::SourceKind::file, path, c.channels, c.ltcChannel, c.fps});
        const auto after = std::chrono::steady_clock::now();
        ASSERT_TRUE(std::holds_alternative<std::unique_ptr<LtcInput>>(started))
            << std::get<LtcInput::Failure>(started).message;
        const auto& input = std::get<std::unique_ptr<LtcInput>>(started);
        EXPECT_GE(input->timeOf(0), before - 1ms); // the pipeline keeps time on the steady clock
        EXPECT_LE(input->timeOf(0), after + 1ms);
        ASSERT_EQ(ended.wait_for(10s), std::future_status::ready);
        EXPECT_FALSE(ended.get().has_value()) << "the end of a file is no failure";

        std::lock_guard lock(received.mutex);
        EXPECT_EQ(timecodes(received.frames), sent);
        const double perFrame = double(LtcInput::sampleRate) / c.fps;
        for (std::size_t i = 0; i < received.frames.size(); ++i) {
            EXPECT_NEAR(received.frames[i].startSample, i * perFrame, 2) << i; // to 40 µs
            EXPECT_FALSE(received.frames[i].reverse);
        }
    }
}

TEST(Ltc, DecoderFollowsAJumpBackAndFindsNothingInSilenceNoiseOrWordsThatNameNoTime)
{
    auto encoder = LtcEncoder::create(25, 48000);
    ASSERT_TRUE(encoder);
    std::vector<LtcTimecode> sent;
    auto signal = encodeRun<std::int16_t>(*encoder, {0, 0, 10, 0}, 50, sent, false);
    const auto back = encodeRun<std::int16_t>(*encoder, {0, 0, 0, 0}, 50, sent);
    signal.insert(signal.end(), back.begin(), back.end());

    // Pieces of every size, from single samples to several frames.
    LtcDecoder decoder(48000);
    std::vector<LtcDecoder::Frame> found;
    const std::size_t pieces[] = {1, 37, 1000, 4097, 9000};
    for (std::size_t at = 0, i = 0; at < signal.size(); ++i) {
        const std::size_t n = std::min(pieces[i % 5], signal.size() - at);
        const auto frames = decoder.write(std::span<const std::int16_t>(signal).subspan(at, n));
        found.insert(found.end(), frames.begin(), frames.end());
        at += n;
    }
    EXPECT_EQ(timecodes(found), sent);
    for (std::size_t i = 0; i < found.size(); ++i)
        EXPECT_NEAR(found[i].startSample, i * 1920, 2) << i;
    EXPECT_EQ(decoder.position(), static_cast<std::int64_t>(signal.size()));

    std::minstd_rand random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    const auto make = [&](auto sample) {
        std::vector<float> out(5 * 48000);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = sample(i);
        return out;
    };
    const std::vector<std::vector<float>> quiet = {
        make([](std::size_t) { return 0.0f; }),
        make([&](std::size_t) { return uniform(random); }),
        make([&](std::size_t) { return uniform(random) * 0.01f; }),
        make([&](std::size_t) { return uniform(random) * 4.0f; }), // beyond full scale
        make([](std::size_t i) { return 0.5f * float(std::sin(i * 2 * std::numbers::pi * 1000 / 48000)); }),
    };
    for (std::size_t i = 0; i < quiet.size(); ++i)
        EXPECT_TRUE(LtcDecoder(48000).write(quiet[i]).empty()) << "signal " << i;

    // Words whose digits name no time are dropped; the frames around them are kept.
    LTCEncoder* raw = ltc_encoder_create(48000, 25, LTC_TV_625_50, 0);
    std::vector<float> words;
    for (const unsigned units : {1, 12, 15, 2, 3}) { // 12 and 15 are no digit; 3 closes 2
        LTCFrame frame;
        ltc_frame_reset(&frame);
        frame.frame_units = units;
        ltc_encoder_set_frame(raw, &frame);
        ltc_encoder_encode_frame(raw);
        ltcsnd_sample_t* samples = nullptr;
        const int count = ltc_encoder_get_bufferptr(raw, &samples, 1);
        for (int i = 0; i < count; ++i)
            words.push_back((samples[i] - 128) / 127.0f);
    }
    ltc_encoder_free(raw);
    EXPECT_EQ(timecodes(LtcDecoder(48000).write(words)), (std::vector<LtcTimecode>{{0, 0, 0, 1}, {0, 0, 0, 2}}));

    // Noise must not leave the decoder deaf: timecode is found again within about half a second.
    for (const auto& before : {quiet[1], quiet[2]}) {
        std::vector<LtcTimecode> later;
        auto input = before;
        const auto ltc = encodeRun<float>(*encoder, {1, 0, 0, 0}, 50, later);
        input.insert(input.end(), ltc.begin(), ltc.end());
        const auto recovered = timecodes(LtcDecoder(48000).write(input));
        ASSERT_GE(recovered.size(), later.size() - 15);
        ASSERT_LE(recovered.size(), later.size());
        EXPECT_TRUE(std::equal(recovered.begin(), recovered.end(), later.end() - recovered.size()));
    }
}

TEST(Ltc, EncoderRefusesTimesAndRatesThatDoNotExist)
{
    EXPECT_FALSE(LtcEncoder::create(29, 48000));
    EXPECT_FALSE(LtcEncoder::create(25, 0));
    auto encoder = LtcEncoder::create(24, 48000);
    ASSERT_TRUE(encoder);
    EXPECT_EQ(encoder->encodeFloat({0, 0, 0, 23}).size(), 2000u);
    EXPECT_TRUE(encoder->encodeFloat({0, 0, 0, 24}).empty());
    EXPECT_TRUE(encoder->encodeS16({24, 0, 0, 0}).empty());
    EXPECT_FALSE(encoder->setLevelDb(1.0));
    EXPECT_FALSE(encoder->setLevelDb(std::nan("")));
    ASSERT_TRUE(encoder->setLevelDb(-18.0));
    const auto frame = encoder->encodeFloat({0, 0, 1, 0});
    const float peak = *std::max_element(frame.begin(), frame.end());
    EXPECT_NEAR(peak, std::pow(10.0, -18.0 / 20), 0.02);
}

TEST(Ltc, OutputWritesWhatIsDueAsEachFramePlaysFollowsAJumpAndFallsSilentWhenHeld)
{
    using Motion = LtcOutput::Motion;
    const std::string path = tempDir() + "/ltc-out.wav";
    constexpr int fps = 25;
    constexpr int perFrame = LtcOutput::sampleRate / fps;
    struct Change {
        LtcOutput::Clock::time_point at;
        Motion motion;
    };
    std::vector<Change> changes;
    std::function<LtcOutput::Clock::time_point(std::int64_t)> timeOf;
    {
        auto started = LtcOutput::start({LtcOutput::SinkKind::file, path, 2, 1, fps});
        ASSERT_TRUE(std::holds_alternative<std::unique_ptr<LtcOutput>>(started))
            << std::get<LtcOutput::Failure>(started).message;
        auto output = std::move(std::get<std::unique_ptr<LtcOutput>>(started));
        const auto change = [&](double frame, double speed) {
            const auto now = LtcOutput::Clock::now();
            changes.push_back({now, Motion{frame, speed, now}});
            output->setMotion(changes.back().motion);
        };
        change(3600.0 * fps + 0.5, fps); // 01:00:00:00, halfway through the frame
        std::this_thread::sleep_for(1200ms);
        change(600.0 * fps, 2.0 * fps); // back to 00:10:00:00, at double speed
        std::this_thread::sleep_for(1000ms);
        change(600.0 * fps + 30, 0); // held
        std::this_thread::sleep_for(500ms);
        timeOf = [start = output->timeOf(0)](std::int64_t sample) {
            return start + std::chrono::nanoseconds(sample * 1'000'000'000 / LtcOutput::sampleRate);
        };
    }

    Received timecode;
    auto reading = timecode.start({LtcInput::SourceKind::file, path, 2, 1, fps});
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<LtcInput>>(reading));
    ASSERT_FALSE(timecode.end.get_future().get().has_value());
    Received otherChannel;
    auto silent = otherChannel.start({LtcInput::SourceKind::file, path, 2, 0, fps});
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<LtcInput>>(silent));
    ASSERT_FALSE(otherChannel.end.get_future().get().has_value());
    EXPECT_TRUE(otherChannel.frames.empty());

    // Each frame says what its motion named when its first sample played. A frame made just
    // before a change plays just after it, so those may still follow the motion before.
    std::size_t rolling = 0;
    for (const auto& frame : timecode.frames) {
        const std::int64_t start = (frame.startSample + perFrame / 2) / perFrame * perFrame;
        const auto plays = timeOf(start);
        auto inForce = std::find_if(changes.rbegin(), changes.rend(), [&](const Change& c) { return c.at <= plays; });
        ASSERT_NE(inForce, changes.rend()) << "a frame before the first motion";
        const auto named = [&](const Motion& m) {
            return static_cast<std::int64_t>(
                std::floor(m.frame + m.framesPerSecond * std::chrono::duration<double>(plays - m.at).count() + 1e-6));
        };
        const auto got = frame.timecode.toFrameCount(fps);
        const bool justChanged = plays - inForce->at < 200ms && inForce + 1 != changes.rend();
        EXPECT_TRUE(got == named(inForce->motion) || (justChanged && got == named(std::next(inForce)->motion)))
            << "frame at sample " << start << " says " << got << ", due " << named(inForce->motion);
        EXPECT_FALSE(inForce->motion.framesPerSecond == 0 && !justChanged) << "a frame while held";
        rolling += inForce->motion.framesPerSecond != 0;
    }
    // 2.2 s rolling; the first frame after a gap can be missed by the decoder.
    EXPECT_GE(rolling, 2.2 * fps - 5);
}

TEST(Ltc, InputsAndOutputsThatCannotOpenFailAtOnceWithTheReason)
{
    using Kind = LtcInput::SourceKind;
    using Error = LtcInput::Error;
    struct Case {
        LtcInput::Options options;
        Error error;
    };
    std::vector<Case> cases = {
        {{Kind::alsaDevice, "hw:97,0"}, Error::noDevice},
        {{Kind::file, tempDir() + "/missing.wav"}, Error::cannotRead},
        {{Kind::file, MediaFiles::notMedia()}, Error::cannotRead},
        {{Kind::file, MediaFiles::countingVideo(5, false)}, Error::cannotRead}, // no audio stream
        {{Kind::file, "ltc.wav", 2, 2}, Error::invalidOptions},
        {{Kind::file, ""}, Error::invalidOptions},
    };
    if (!hasAudioDevice()) // a machine without audio hardware, like CI
        cases.push_back({{Kind::defaultDevice, ""}, Error::noDevice});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.location);
        Received received;
        const auto before = std::chrono::steady_clock::now();
        const auto started = received.start(c.options);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
        ASSERT_TRUE(std::holds_alternative<LtcInput::Failure>(started));
        EXPECT_EQ(std::get<LtcInput::Failure>(started).error, c.error) << std::get<LtcInput::Failure>(started).message;
    }

    using Sink = LtcOutput::SinkKind;
    struct OutputCase {
        LtcOutput::Options options;
        LtcOutput::Error error;
        std::string message;
    };
    std::vector<OutputCase> outputs = {
        {{Sink::alsaDevice, "hw:97,0"}, LtcOutput::Error::noDevice, R"(No audio output device "hw:97,0")"},
        {{Sink::file, tempDir() + "/no/such/folder/ltc.wav"}, LtcOutput::Error::cannotWrite, ""},
        {{Sink::file, "ltc.wav", 1, 0, 29}, LtcOutput::Error::invalidOptions, ""},
        {{Sink::file, "ltc.wav", 65, 0}, LtcOutput::Error::invalidOptions, ""},
    };
    if (!hasAudioDevice())
        outputs.push_back({{Sink::defaultDevice, ""}, LtcOutput::Error::noDevice, "No audio output device"});
    for (const auto& c : outputs) {
        SCOPED_TRACE(c.options.location);
        const auto before = std::chrono::steady_clock::now();
        const auto started = LtcOutput::start(c.options);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
        ASSERT_TRUE(std::holds_alternative<LtcOutput::Failure>(started));
        EXPECT_EQ(std::get<LtcOutput::Failure>(started).error, c.error);
        if (!c.message.empty()) {
            EXPECT_EQ(std::get<LtcOutput::Failure>(started).message, c.message);
        }
    }
}
