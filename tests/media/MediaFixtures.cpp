#include "MediaFixtures.h"

#include "support/TestSupport.h"
#include "platform/media/GStreamerInit.h"
#include "platform/media/GstHandle.h"

#include <gst/app/gstappsrc.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace orvelo::test {

namespace {

std::string mediaDir()
{
    const std::string dir = tempDir() + "/media";
    std::filesystem::create_directories(dir);
    return dir;
}

std::string replaceOut(std::string description, const std::string& path)
{
    const std::string marker = "{out}";
    for (auto pos = description.find(marker); pos != std::string::npos; pos = description.find(marker))
        description.replace(pos, marker.size(), "\"" + path + "\"");
    return description;
}

// Plays a pipeline to its end; `feed` may push buffers into an appsrc named "src".
bool runToEnd(GstElement* pipeline, const std::function<void(GstElement*)>& feed)
{
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    if (feed) {
        GstObjectHandle<GstElement> src(gst_bin_get_by_name(GST_BIN(pipeline), "src"));
        feed(src.get());
    }
    GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline));
    GstMiniHandle<GstMessage> message(gst_bus_timed_pop_filtered(
        bus.get(), 120 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    bool ok = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    if (message && !ok) {
        GError* raw = nullptr;
        gst_message_parse_error(message.get(), &raw, nullptr);
        GErrorHandle error(raw);
        std::fprintf(stderr, "media generation failed: %s\n", error ? error->message : "?");
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return ok;
}

std::string generateOnce(const std::string& fileName, const std::string& description,
                     const std::function<void(GstElement*)>& feed)
{
    ensureGStreamer();
    // The description is part of the name, so a changed recipe never reuses an old file.
    const std::filesystem::path name(fileName);
    char tag[20];
    std::snprintf(tag, sizeof tag, "-%016zx", std::hash<std::string>{}(description));
    const std::string path = mediaDir() + "/" + name.stem().string() + tag + name.extension().string();
    if (std::filesystem::exists(path))
        return path;
    // Written under a private name and renamed, so parallel test processes never read half a file.
    const std::string partial = path + ".part" + std::to_string(::getpid());
    GError* raw = nullptr;
    auto pipeline = adoptElement(gst_parse_launch(replaceOut(description, partial).c_str(), &raw));
    GErrorHandle error(raw);
    if (!pipeline || error) {
        std::fprintf(stderr, "bad media description: %s\n", error ? error->message : "?");
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

std::string generatedMedia(const std::string& fileName, const std::string& description)
{
    return generateOnce(fileName, description, nullptr);
}

std::string countingVideo(const std::string& fileName, const std::string& encoder, int frames, bool withAudio)
{
    constexpr int width = 160;
    constexpr int height = 120;
    std::string description =
        "appsrc name=src format=time caps=video/x-raw,format=I420,width=160,height=120,framerate=25/1 "
        "! videoconvert ! " + encoder + " ! filesink location={out}";
    if (withAudio) {
        const int samples = frames * 44100 / 25;
        description += " audiotestsrc freq=440 volume=0.5 samplesperbuffer=441 num-buffers=" +
                       std::to_string(samples / 441) + " ! audio/x-raw,rate=44100,channels=2 ! avenc_aac ! mux.";
    }
    return generateOnce(fileName, description, [&](GstElement* src) {
        const std::size_t lumaSize = width * height;
        const std::size_t size = lumaSize * 3 / 2;
        for (int i = 0; i < frames; ++i) {
            GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
            GstMapInfo map;
            gst_buffer_map(buffer, &map, GST_MAP_WRITE);
            std::memset(map.data, 16 + 4 * i, lumaSize);
            std::memset(map.data + lumaSize, 128, size - lumaSize);
            gst_buffer_unmap(buffer, &map);
            GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(static_cast<guint64>(i), GST_SECOND, 25);
            GST_BUFFER_DURATION(buffer) = GST_SECOND / 25;
            gst_app_src_push_buffer(GST_APP_SRC(src), buffer); // takes the buffer
        }
        gst_app_src_end_of_stream(GST_APP_SRC(src));
    });
}

int frameIndex(const VideoFrame& frame)
{
    const std::size_t centre = static_cast<std::size_t>(frame.height / 2) * static_cast<std::size_t>(frame.strides[0]);
    if (frame.format == PixelFormat::I420) {
        const int y = frame.plane(0)[centre + static_cast<std::size_t>(frame.width / 2)];
        return static_cast<int>(std::lround((y - 16) / 4.0));
    }
    // Grey decodes to equal B, G and R of 255/219 times the luma above black.
    const int g = frame.plane(0)[centre + static_cast<std::size_t>(frame.width / 2) * 4 + 1];
    return static_cast<int>(std::lround(g * 219.0 / 255.0 / 4.0));
}

std::string videoWithAudio1s()
{
    return countingVideo("count25-av.mp4", "x264enc speed-preset=ultrafast key-int-max=10 ! mp4mux name=mux", 25, true);
}

std::string videoWithAudio2s()
{
    return countingVideo("count50-av.mp4", "x264enc speed-preset=ultrafast key-int-max=10 ! mp4mux name=mux", 50, true);
}

std::string sineWav1s()
{
    return generatedMedia("sine1s.wav", "audiotestsrc freq=440 volume=0.5 samplesperbuffer=441 num-buffers=100 "
                                        "! audio/x-raw,rate=44100,channels=2 ! wavenc ! filesink location={out}");
}

std::shared_ptr<MediaItem> loadAndWait(const std::string& path, PixelFormat format)
{
    auto item = MediaItem::load(QString::fromStdString(path), format);
    waitUntil([&] { return item->status() != MediaItem::Status::Loading; }, std::chrono::seconds(10));
    return item;
}

} // namespace orvelo::test
