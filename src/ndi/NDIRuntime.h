#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvelo {

// The NDI runtime is the vendor's closed library, found at run time: the service uses five
// of its functions and the two structures below, laid out as the runtime's C interface (SDK
// versions 5 and 6) defines them.
namespace ndi {

// A video frame as the runtime's send call takes it ("video frame v2").
struct VideoFrameV2 {
    int xres = 0;
    int yres = 0;
    std::uint32_t fourCC = 0;
    int frameRateN = 0;
    int frameRateD = 0;
    float pictureAspectRatio = 0.0f;
    int frameFormatType = 0;
    std::int64_t timecode = 0;
    std::uint8_t* data = nullptr;
    int lineStrideInBytes = 0;
    const char* metadata = nullptr;
    std::int64_t timestamp = 0;
};
static_assert(offsetof(VideoFrameV2, fourCC) == 8 && offsetof(VideoFrameV2, frameFormatType) == 24 &&
                  offsetof(VideoFrameV2, timecode) == 32 && offsetof(VideoFrameV2, data) == 40 &&
                  offsetof(VideoFrameV2, lineStrideInBytes) == 48 && offsetof(VideoFrameV2, metadata) == 56 &&
                  offsetof(VideoFrameV2, timestamp) == 64 && sizeof(VideoFrameV2) == 72,
              "the runtime's video frame layout");

// What a sender is created with.
struct SendCreate {
    const char* name = nullptr;
    const char* groups = nullptr;
    bool clockVideo = false;
    bool clockAudio = false;
};
static_assert(sizeof(SendCreate) == 24 && offsetof(SendCreate, clockVideo) == 16, "the runtime's sender settings");

constexpr std::uint32_t fourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}
inline constexpr std::uint32_t fourCCBGRA = fourCC('B', 'G', 'R', 'A');
inline constexpr int frameFormatProgressive = 1;
// Asks the runtime to make up the timecode.
inline constexpr std::int64_t timecodeSynthesize = INT64_MAX;

} // namespace ndi

// The NDI runtime, opened with dlopen from the first place that has it. Where none is found
// the functions still answer: initialisation reports failure and no sender can be created, so
// the service runs on without NDI. Thread-safe as the runtime is: senders may be used from
// another thread than the one that made them.
class NDIRuntime {
public:
    // Where the runtime is looked for, in order: the folder the runtime's installer names in
    // NDI_RUNTIME_DIR_V6 (libndi.so.6) and NDI_RUNTIME_DIR_V5 (libndi.so.5), where set, then
    // libndi.so.6 and libndi.so.5 on the system's library path.
    static std::vector<std::string> defaultCandidates();

    // Opens the first candidate that loads and has all five functions.
    explicit NDIRuntime(const std::vector<std::string>& candidates = defaultCandidates());
    // Shuts the runtime down if it was initialised, and closes it.
    ~NDIRuntime();
    NDIRuntime(const NDIRuntime&) = delete;
    NDIRuntime& operator=(const NDIRuntime&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    // The file that was opened; empty when none was.
    const std::string& path() const { return path_; }

    // NDIlib_initialize: false when the runtime is missing or refuses.
    bool initialize();
    // NDIlib_destroy, once, if initialize() succeeded.
    void shutDown();

    // NDIlib_send_create; null when the runtime is missing or refuses.
    void* createSender(const ndi::SendCreate& settings);
    // NDIlib_send_send_video_v2: synchronous; with video clocking it waits for the frame's turn.
    void sendVideo(void* sender, const ndi::VideoFrameV2& frame);
    // NDIlib_send_destroy.
    void destroySender(void* sender);

private:
    using InitializeFn = bool (*)();
    using DestroyFn = void (*)();
    using SendCreateFn = void* (*)(const ndi::SendCreate*);
    using SendVideoFn = void (*)(void*, const ndi::VideoFrameV2*);
    using SendDestroyFn = void (*)(void*);

    void* handle_ = nullptr;
    std::string path_;
    bool initialized_ = false;
    InitializeFn initialize_ = nullptr;
    DestroyFn destroy_ = nullptr;
    SendCreateFn sendCreate_ = nullptr;
    SendVideoFn sendVideo_ = nullptr;
    SendDestroyFn sendDestroy_ = nullptr;
};

// One NDI sender; destroyed with its last owner, on whichever thread lets it go (the frame
// worker may still be sending through it when the service stops).
class NDISender {
public:
    NDISender(std::shared_ptr<NDIRuntime> runtime, void* instance);
    ~NDISender();
    NDISender(const NDISender&) = delete;
    NDISender& operator=(const NDISender&) = delete;

    void sendVideo(const ndi::VideoFrameV2& frame);

private:
    std::shared_ptr<NDIRuntime> runtime_;
    void* instance_;
};

} // namespace orvelo
