#include "FakeNDIRuntime.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The runtime's structures as the service fills them.
struct SendCreate {
    const char* name;
    const char* groups;
    bool clockVideo;
    bool clockAudio;
};
struct VideoFrameV2 {
    int xres;
    int yres;
    std::uint32_t fourCC;
    int frameRateN;
    int frameRateD;
    float pictureAspectRatio;
    int frameFormatType;
    std::int64_t timecode;
    std::uint8_t* data;
    int lineStrideInBytes;
    const char* metadata;
    std::int64_t timestamp;
};

struct Sender {
    bool clockVideo = false;
    std::thread::id creator;
    std::chrono::steady_clock::time_point nextTurn{};
    bool alive = true;
};

std::mutex mutex;
bool failInitialize = false;
bool initialized = false;
FakeNDIState state{};
std::vector<FakeNDIFrame> frames;
std::vector<std::uint8_t> lastPixels;
int lastWidth = 0;
int lastHeight = 0;
int lastStride = 0;
// Destroyed senders are kept until the library goes, so a late send is noticed, not a crash.
std::vector<std::unique_ptr<Sender>> senders;

} // namespace

extern "C" {

__attribute__((visibility("default"))) bool NDIlib_initialize()
{
    std::lock_guard lock(mutex);
    ++state.initializeCalls;
    initialized = !failInitialize;
    return initialized;
}

__attribute__((visibility("default"))) void NDIlib_destroy()
{
    std::lock_guard lock(mutex);
    ++state.destroyCalls;
    if (state.liveSenders > 0)
        state.destroyedWithLiveSenders = true;
    initialized = false;
}

__attribute__((visibility("default"))) void* NDIlib_send_create(const SendCreate* settings)
{
    std::lock_guard lock(mutex);
    ++state.createCalls;
    if (!initialized || !settings)
        return nullptr;
    state.lastCreateNamedOrvelo = settings->name && std::string(settings->name) == "Orvelo";
    state.lastCreateHadGroups = settings->groups != nullptr;
    state.lastCreateClockVideo = settings->clockVideo;
    state.lastCreateClockAudio = settings->clockAudio;
    auto* sender = senders.emplace_back(std::make_unique<Sender>()).get();
    sender->clockVideo = settings->clockVideo;
    sender->creator = std::this_thread::get_id();
    ++state.liveSenders;
    return sender;
}

__attribute__((visibility("default"))) void NDIlib_send_send_video_v2(void* instance, const VideoFrameV2* frame)
{
    auto* sender = static_cast<Sender*>(instance);
    std::chrono::steady_clock::time_point turn{};
    {
        std::lock_guard lock(mutex);
        if (!sender || !sender->alive) {
            state.sentAfterSenderDestroyed = true;
            return;
        }
        FakeNDIFrame f{};
        f.xres = frame->xres;
        f.yres = frame->yres;
        f.fourCC = frame->fourCC;
        f.frameRateN = frame->frameRateN;
        f.frameRateD = frame->frameRateD;
        f.pictureAspectRatio = frame->pictureAspectRatio;
        f.frameFormatType = frame->frameFormatType;
        f.timecode = frame->timecode;
        f.lineStrideInBytes = frame->lineStrideInBytes;
        f.hasMetadata = frame->metadata != nullptr;
        f.timestamp = frame->timestamp;
        f.onCreatingThread = std::this_thread::get_id() == sender->creator;
        frames.push_back(f);
        ++state.framesSent;
        if (frame->data && frame->yres > 0 && frame->lineStrideInBytes > 0) {
            lastPixels.assign(frame->data, frame->data + static_cast<std::size_t>(frame->lineStrideInBytes) * frame->yres);
            lastWidth = frame->xres;
            lastHeight = frame->yres;
            lastStride = frame->lineStrideInBytes;
        }
        if (sender->clockVideo && frame->frameRateN > 0 && frame->frameRateD > 0) {
            const auto period = std::chrono::nanoseconds(1'000'000'000LL * frame->frameRateD / frame->frameRateN);
            const auto now = std::chrono::steady_clock::now();
            if (sender->nextTurn < now)
                sender->nextTurn = now;
            turn = sender->nextTurn;
            sender->nextTurn += period;
        }
    }
    std::this_thread::sleep_until(turn);
}

__attribute__((visibility("default"))) void NDIlib_send_destroy(void* instance)
{
    std::lock_guard lock(mutex);
    ++state.sendDestroyCalls;
    auto* sender = static_cast<Sender*>(instance);
    if (sender && sender->alive) {
        sender->alive = false;
        --state.liveSenders;
    }
}

__attribute__((visibility("default"))) void fake_ndi_reset(bool failInit)
{
    std::lock_guard lock(mutex);
    failInitialize = failInit;
    state = FakeNDIState{};
    frames.clear();
    lastPixels.clear();
    lastWidth = lastHeight = lastStride = 0;
}

__attribute__((visibility("default"))) FakeNDIState fake_ndi_state()
{
    std::lock_guard lock(mutex);
    return state;
}

__attribute__((visibility("default"))) bool fake_ndi_frame(int index, FakeNDIFrame* out)
{
    std::lock_guard lock(mutex);
    const int count = static_cast<int>(frames.size());
    const int i = index < 0 ? count + index : index;
    if (i < 0 || i >= count)
        return false;
    *out = frames[static_cast<std::size_t>(i)];
    return true;
}

__attribute__((visibility("default"))) bool fake_ndi_last_pixel(int x, int y, std::uint8_t* bgra)
{
    std::lock_guard lock(mutex);
    if (x < 0 || y < 0 || x >= lastWidth || y >= lastHeight)
        return false;
    std::memcpy(bgra, lastPixels.data() + static_cast<std::size_t>(y) * lastStride + 4 * x, 4);
    return true;
}
}
