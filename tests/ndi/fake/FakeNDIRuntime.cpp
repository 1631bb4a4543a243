#include "FakeNDIRuntime.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define FAKE_NDI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// What a sender is created with, as the runtime's C interface defines it.
struct SendCreate {
    const char* name;
    const char* groups;
    bool clockVideo, clockAudio;
};

struct Sender {
    bool clockVideo = false;
    std::thread::id creator = std::this_thread::get_id();
    std::chrono::steady_clock::time_point nextTurn{};
    bool alive = true;
};

std::mutex mutex;
bool failInitialize = false, initialized = false;
FakeNDIState state{};
std::vector<FakeNDIFrame> frames;
std::vector<std::uint8_t> lastPixels;
FakeNDIVideoFrame lastFrame{};
// Destroyed senders are kept until the library goes, so a late send is noticed, not a crash.
std::vector<std::unique_ptr<Sender>> senders;

} // namespace

FAKE_NDI_EXPORT bool NDIlib_initialize()
{
    std::lock_guard lock(mutex);
    initialized = !failInitialize;
    return initialized;
}

FAKE_NDI_EXPORT void NDIlib_destroy()
{
    std::lock_guard lock(mutex);
    ++state.destroyCalls;
    state.destroyedWithLiveSenders |= state.liveSenders > 0;
    initialized = false;
}

FAKE_NDI_EXPORT void* NDIlib_send_create(const SendCreate* settings)
{
    std::lock_guard lock(mutex);
    ++state.createCalls;
    if (!initialized || !settings)
        return nullptr;
    state.lastCreateNamedOrvelo = settings->name && std::string(settings->name) == "Orvelo";
    state.lastCreateHadGroups = settings->groups != nullptr;
    state.lastCreateClockVideo = settings->clockVideo;
    state.lastCreateClockAudio = settings->clockAudio;
    ++state.liveSenders;
    Sender* sender = senders.emplace_back(std::make_unique<Sender>()).get();
    sender->clockVideo = settings->clockVideo;
    return sender;
}

FAKE_NDI_EXPORT void NDIlib_send_send_video_v2(void* instance, const FakeNDIVideoFrame* frame)
{
    auto* sender = static_cast<Sender*>(instance);
    std::chrono::steady_clock::time_point turn{};
    {
        std::lock_guard lock(mutex);
        if (!sender || !sender->alive) {
            state.sentAfterSenderDestroyed = true;
            return;
        }
        FakeNDIFrame& f = frames.emplace_back();
        static_cast<FakeNDIVideoFrame&>(f) = *frame;
        f.onCreatingThread = std::this_thread::get_id() == sender->creator;
        ++state.framesSent;
        if (frame->data && frame->yres > 0 && frame->lineStrideInBytes > 0) {
            lastPixels.assign(frame->data,
                              frame->data + static_cast<std::size_t>(frame->lineStrideInBytes) * frame->yres);
            lastFrame = *frame;
        }
        if (sender->clockVideo && frame->frameRateN > 0 && frame->frameRateD > 0) {
            const auto now = std::chrono::steady_clock::now();
            turn = sender->nextTurn = std::max(sender->nextTurn, now);
            sender->nextTurn += std::chrono::nanoseconds(1'000'000'000LL * frame->frameRateD / frame->frameRateN);
        }
    }
    std::this_thread::sleep_until(turn);
}

FAKE_NDI_EXPORT void NDIlib_send_destroy(void* instance)
{
    std::lock_guard lock(mutex);
    auto* sender = static_cast<Sender*>(instance);
    if (sender && sender->alive) {
        sender->alive = false;
        --state.liveSenders;
    }
}

FAKE_NDI_EXPORT void fake_ndi_reset(bool failInit)
{
    std::lock_guard lock(mutex);
    failInitialize = failInit;
    state = FakeNDIState{};
    frames.clear();
    lastPixels.clear();
    lastFrame = {};
}

FAKE_NDI_EXPORT FakeNDIState fake_ndi_state()
{
    std::lock_guard lock(mutex);
    return state;
}

FAKE_NDI_EXPORT bool fake_ndi_frame(int index, FakeNDIFrame* out)
{
    std::lock_guard lock(mutex);
    const int count = static_cast<int>(frames.size());
    const int i = index < 0 ? count + index : index;
    if (i < 0 || i >= count)
        return false;
    *out = frames[static_cast<std::size_t>(i)];
    return true;
}

FAKE_NDI_EXPORT bool fake_ndi_last_pixel(int x, int y, std::uint8_t* bgra)
{
    std::lock_guard lock(mutex);
    if (x < 0 || y < 0 || x >= lastFrame.xres || y >= lastFrame.yres)
        return false;
    std::memcpy(bgra, lastPixels.data() + static_cast<std::size_t>(y) * lastFrame.lineStrideInBytes + 4 * x, 4);
    return true;
}
