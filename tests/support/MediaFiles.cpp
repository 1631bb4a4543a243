#include "support/MediaFiles.h"

#include "support/TestSupport.h"

#include "platform/media/GstHandle.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

namespace orvelo::test {

namespace {

template <typename Sample>
bool writeWavOf(const std::string& path, const std::vector<Sample>& samples, int rate, int channels)
{
    const char* format = std::is_same_v<Sample, float> ? "F32LE" : "S16LE";
    const std::string description = "appsrc name=src format=time caps=audio/x-raw,format=" + std::string(format) +
                                    ",layout=interleaved,rate=" + std::to_string(rate) +
                                    ",channels=" + std::to_string(channels) +
                                    " ! audioconvert ! wavenc ! filesink location=\"" + path + "\"";
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    auto pipeline = adoptElement(gst_parse_launch(description.c_str(), &error));
    if (error)
        g_error_free(error);
    if (!pipeline)
        return false;
    GstObjectHandle<GstElement> src(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
    const gsize bytes = samples.size() * sizeof(Sample);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, samples.data(), bytes);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    gst_app_src_push_buffer(GST_APP_SRC(src.get()), buffer);
    gst_app_src_end_of_stream(GST_APP_SRC(src.get()));
    GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
    GstMiniHandle<GstMessage> done(gst_bus_timed_pop_filtered(
        bus.get(), 30 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return done && GST_MESSAGE_TYPE(done.get()) == GST_MESSAGE_EOS;
}

std::string cacheDir()
{
    const char* build = std::getenv("ORVELO_BUILD_DIR");
    const std::string dir = std::string(build && *build ? build : "/tmp") + "/test-media";
    std::filesystem::create_directories(dir);
    return dir;
}

// Makes the file unless it is there: `make` writes a private name that is then renamed into
// place, so that no reader ever sees half a file.
std::string publish(const std::string& path, const std::function<bool(const std::string&)>& make)
{
    if (std::filesystem::exists(path))
        return path;
    const std::string partial = path + ".part" + std::to_string(::getpid());
    if (!make(partial)) {
        std::filesystem::remove(partial);
        return {};
    }
    std::filesystem::rename(partial, path);
    return path;
}

std::string writeOnce(const std::string& path, const std::function<std::string()>& bytes)
{
    return publish(path, [&](const std::string& partial) {
        std::ofstream(partial, std::ios::binary) << bytes();
        return true;
    });
}

std::string withOutput(std::string description, const std::string& path)
{
    const std::string marker = "{out}";
    for (auto pos = description.find(marker); pos != std::string::npos; pos = description.find(marker))
        description.replace(pos, marker.size(), "\"" + path + "\"");
    return description;
}

void report(const char* what, GError* error)
{
    std::fprintf(stderr, "%s: %s\n", what, error ? error->message : "?");
    if (error)
        g_error_free(error);
}

// Plays the pipeline to its end.
bool runToEnd(GstElement* pipeline)
{
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline));
    GstMiniHandle<GstMessage> message(gst_bus_timed_pop_filtered(
        bus.get(), 120 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    const bool ok = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    if (message && !ok) {
        GError* error = nullptr;
        gst_message_parse_error(message.get(), &error, nullptr);
        report("media generation failed", error);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return ok;
}

} // namespace

bool MediaFiles::writeWav(const std::string& path, const std::vector<float>& samples, int rate, int channels)
{
    return writeWavOf(path, samples, rate, channels);
}

bool MediaFiles::writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate, int channels)
{
    return writeWavOf(path, samples, rate, channels);
}

std::string MediaFiles::generate(const std::string& fileName, const std::string& description)
{
    gst_init(nullptr, nullptr);
    // The recipe is part of the name, so a changed recipe never reuses an old file.
    const std::filesystem::path name(fileName);
    char tag[20];
    std::snprintf(tag, sizeof tag, "-%016zx", std::hash<std::string>{}(description));
    const std::string path = cacheDir() + "/" + name.stem().string() + tag + name.extension().string();
    if (std::filesystem::exists(path))
        return path;
    const FileLock lock(path + ".lock"); // another process may make it while this one waits
    return publish(path, [&](const std::string& partial) {
        GError* error = nullptr;
        const auto pipeline = adoptElement(gst_parse_launch(withOutput(description, partial).c_str(), &error));
        if (!pipeline || error) {
            report("bad media description", error);
            return false;
        }
        return runToEnd(pipeline.get());
    });
}

std::string MediaFiles::countingVideo(int frames, bool withAudio, int variant)
{
    constexpr std::size_t luma = static_cast<std::size_t>(pictureWidth) * pictureHeight;
    const std::string raw = writeOnce(cacheDir() + "/count" + std::to_string(frames) + ".i420", [&] {
        std::string bytes;
        for (int i = 0; i < frames; ++i)
            bytes.append(luma, static_cast<char>(16 + 4 * i)).append(luma / 2, static_cast<char>(128));
        return bytes;
    });
    std::string description = "filesrc location=\"" + raw +
                              "\" ! rawvideoparse format=i420 width=160 height=120 framerate=25/1 "
                              "! x264enc speed-preset=ultrafast key-int-max=10 bframes=0 ! mp4mux name=mux "
                              "! filesink location={out}";
    if (withAudio) {
        const int buffers = frames * 100 / fps; // 441 samples = 10 ms per buffer
        description += " audiotestsrc freq=440 volume=0.5 samplesperbuffer=441 num-buffers=" + std::to_string(buffers) +
                       " ! audio/x-raw,rate=44100,channels=2 ! avenc_aac ! mux.";
    }
    return generate("count" + std::to_string(frames) + (withAudio ? "-av" : "-v") +
                        (variant ? "-" + std::to_string(variant) : "") + ".mp4",
                    description);
}

std::string MediaFiles::tone(const std::string& extension, int milliseconds)
{
    const std::string encoder = extension == "flac" ? "flacenc" : "wavenc";
    return generate(
        "tone" + std::to_string(milliseconds) + "ms." + extension,
        "audiotestsrc freq=440 volume=0.5 samplesperbuffer=441 num-buffers=" + std::to_string(milliseconds / 10) +
            " ! audio/x-raw,rate=44100,channels=2,format=S16LE ! " + encoder + " ! filesink location={out}");
}

std::string MediaFiles::notMedia()
{
    return writeOnce(cacheDir() + "/not-media.mp4", [] {
        std::string bytes(4096, '\0');
        for (int i = 0; i < 4096; ++i)
            bytes[static_cast<std::size_t>(i)] = static_cast<char>((i * 7919) % 251);
        return bytes;
    });
}

int MediaFiles::frameIndex(const VideoFrame& frame)
{
    if (!frame.hasValidLayout())
        return -1;
    if (frame.format == PixelFormat::i420) {
        const std::size_t centre =
            static_cast<std::size_t>(frame.height / 2) * static_cast<std::size_t>(frame.strides[0]) +
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
    if (frame.format != PixelFormat::bgra || !frame.hasValidLayout())
        return {-1, -1, -1, -1};
    const std::uint8_t* p = frame.plane(0) +
                            static_cast<std::size_t>(frame.height / 2) * static_cast<std::size_t>(frame.strides[0]) +
                            static_cast<std::size_t>(frame.width / 2) * 4;
    return {p[0], p[1], p[2], p[3]};
}

} // namespace orvelo::test
