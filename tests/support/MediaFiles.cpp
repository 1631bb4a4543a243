#include "support/MediaFiles.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace orvelo::test {

namespace {

struct Unref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <typename T>
using Ref = std::unique_ptr<T, Unref>;

std::string cacheDir()
{
    const char* build = std::getenv("ORVELO_BUILD_DIR");
    const std::string dir = std::string(build && *build ? build : "/tmp") + "/test-media";
    std::filesystem::create_directories(dir);
    return dir;
}

std::string withOutput(std::string description, const std::string& path)
{
    const std::string marker = "{out}";
    for (auto pos = description.find(marker); pos != std::string::npos; pos = description.find(marker))
        description.replace(pos, marker.size(), "\"" + path + "\"");
    return description;
}

// Plays the pipeline to its end; `feed` may push buffers into the appsrc named "src".
bool runToEnd(GstElement* pipeline, const std::function<void(GstElement*)>& feed)
{
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    if (feed) {
        Ref<GstElement> src(gst_bin_get_by_name(GST_BIN(pipeline), "src"));
        if (!src)
            return false;
        feed(src.get());
    }
    Ref<GstBus> bus(gst_element_get_bus(pipeline));
    GstMessage* message = gst_bus_timed_pop_filtered(bus.get(), 120 * GST_SECOND,
                                                     static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message && !ok) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        std::fprintf(stderr, "media generation failed: %s\n", error ? error->message : "?");
        if (error)
            g_error_free(error);
    }
    if (message)
        gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return ok;
}

// Holds an exclusive lock on a file next to the media while it lives.
class FileLock {
public:
    explicit FileLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~FileLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

std::string generateOnce(const std::string& fileName, const std::string& description,
                         const std::function<void(GstElement*)>& feed)
{
    gst_init(nullptr, nullptr);
    // The recipe is part of the name, so a changed recipe never reuses an old file.
    const std::filesystem::path name(fileName);
    char tag[20];
    std::snprintf(tag, sizeof tag, "-%016zx", std::hash<std::string>{}(description));
    const std::string path = cacheDir() + "/" + name.stem().string() + tag + name.extension().string();
    if (std::filesystem::exists(path))
        return path;
    const FileLock lock(path + ".lock");
    if (std::filesystem::exists(path))
        return path; // another process made it while this one waited
    // Written under a private name and renamed, so no reader ever sees half a file.
    const std::string partial = path + ".part" + std::to_string(::getpid());
    GError* error = nullptr;
    Ref<GstElement> pipeline(gst_parse_launch(withOutput(description, partial).c_str(), &error));
    if (pipeline)
        gst_object_ref_sink(pipeline.get());
    if (!pipeline || error) {
        std::fprintf(stderr, "bad media description: %s\n", error ? error->message : "?");
        if (error)
            g_error_free(error);
        return {};
    }
    if (!runToEnd(pipeline.get(), feed)) {
        std::filesystem::remove(partial);
        return {};
    }
    std::filesystem::rename(partial, path);
    return path;
}

} // namespace

std::string MediaFiles::generate(const std::string& fileName, const std::string& description)
{
    return generateOnce(fileName, description, nullptr);
}

std::string MediaFiles::countingVideo(int frames, bool withAudio, int variant)
{
    std::string description =
        "appsrc name=src format=time caps=video/x-raw,format=I420,width=160,height=120,framerate=25/1 "
        "! videoconvert ! x264enc speed-preset=ultrafast key-int-max=10 bframes=0 ! mp4mux name=mux "
        "! filesink location={out}";
    if (withAudio) {
        const int buffers = frames * 100 / kFps; // 441 samples = 10 ms per buffer
        description += " audiotestsrc freq=440 volume=0.5 samplesperbuffer=441 num-buffers=" +
                       std::to_string(buffers) + " ! audio/x-raw,rate=44100,channels=2 ! avenc_aac ! mux.";
    }
    const std::string name = "count" + std::to_string(frames) + (withAudio ? "-av" : "-v") +
                             (variant ? "-" + std::to_string(variant) : "") + ".mp4";
    return generateOnce(name, description, [frames](GstElement* src) {
        constexpr std::size_t lumaSize = static_cast<std::size_t>(kWidth) * kHeight;
        constexpr std::size_t size = lumaSize * 3 / 2;
        for (int i = 0; i < frames; ++i) {
            GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
            GstMapInfo map;
            gst_buffer_map(buffer, &map, GST_MAP_WRITE);
            std::memset(map.data, 16 + 4 * i, lumaSize);
            std::memset(map.data + lumaSize, 128, size - lumaSize);
            gst_buffer_unmap(buffer, &map);
            GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(static_cast<guint64>(i), GST_SECOND, kFps);
            GST_BUFFER_DURATION(buffer) = GST_SECOND / kFps;
            gst_app_src_push_buffer(GST_APP_SRC(src), buffer); // takes the buffer
        }
        gst_app_src_end_of_stream(GST_APP_SRC(src));
    });
}

std::string MediaFiles::tone(const std::string& extension, int milliseconds)
{
    const std::string encoder = extension == "flac" ? "flacenc" : "wavenc";
    return generate("tone" + std::to_string(milliseconds) + "ms." + extension,
                    "audiotestsrc freq=440 volume=0.5 samplesperbuffer=441 num-buffers=" + std::to_string(milliseconds / 10) +
                        " ! audio/x-raw,rate=44100,channels=2,format=S16LE ! " + encoder + " ! filesink location={out}");
}

std::string MediaFiles::notMedia()
{
    const std::string path = cacheDir() + "/not-media.mp4";
    if (!std::filesystem::exists(path)) {
        const std::string partial = path + ".part" + std::to_string(::getpid());
        if (std::FILE* f = std::fopen(partial.c_str(), "wb")) {
            for (int i = 0; i < 4096; ++i)
                std::fputc((i * 7919) % 251, f);
            std::fclose(f);
            std::filesystem::rename(partial, path);
        }
    }
    return path;
}

int MediaFiles::frameIndex(const VideoFrame& frame)
{
    if (!frame.hasValidLayout())
        return -1;
    if (frame.format == PixelFormat::I420) {
        const std::size_t centre = static_cast<std::size_t>(frame.height / 2) * static_cast<std::size_t>(frame.strides[0]) +
                                   static_cast<std::size_t>(frame.width / 2);
        return static_cast<int>(std::lround((frame.plane(0)[centre] - 16) / 4.0));
    }
    return static_cast<int>(std::lround(centrePixel(frame)[1] * 219.0 / 255.0 / 4.0));
}

int MediaFiles::greyOf(int index)
{
    return static_cast<int>(std::lround(4.0 * index * 255.0 / 219.0));
}

std::array<int, 4> MediaFiles::centrePixel(const VideoFrame& frame)
{
    if (frame.format != PixelFormat::BGRA || !frame.hasValidLayout())
        return {-1, -1, -1, -1};
    const std::uint8_t* p = frame.plane(0) + static_cast<std::size_t>(frame.height / 2) * static_cast<std::size_t>(frame.strides[0]) +
                            static_cast<std::size_t>(frame.width / 2) * 4;
    return {p[0], p[1], p[2], p[3]};
}

} // namespace orvelo::test
