#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <memory>

namespace orvelo {

// Owning handles for GStreamer references, so every ref is released exactly once on every
// path. Objects (elements, pads, buses) and mini objects (messages, samples, caps) unref
// differently, hence two deleters.
struct GstObjectUnref {
    void operator()(gpointer object) const noexcept { gst_object_unref(object); }
};
struct GstMiniObjectUnref {
    void operator()(gpointer object) const noexcept { gst_mini_object_unref(GST_MINI_OBJECT_CAST(object)); }
};
struct GErrorFree {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
struct GFree {
    void operator()(gpointer p) const noexcept { g_free(p); }
};

template <typename T> using GstObjectHandle = std::unique_ptr<T, GstObjectUnref>;
template <typename T> using GstMiniHandle = std::unique_ptr<T, GstMiniObjectUnref>;
using GErrorHandle = std::unique_ptr<GError, GErrorFree>;
using GCharHandle = std::unique_ptr<gchar, GFree>;

// Takes ownership of a newly created element, sinking its floating reference.
inline GstObjectHandle<GstElement> adoptElement(GstElement* element)
{
    if (element)
        gst_object_ref_sink(element);
    return GstObjectHandle<GstElement>(element);
}

// Adds a reference to an object owned elsewhere (a bin's child).
template <typename T> GstObjectHandle<T> retain(T* object)
{
    if (object)
        gst_object_ref(object);
    return GstObjectHandle<T>(object);
}

// A buffer mapped for reading for as long as this lives; check ok() before using data().
class BufferReadMap {
public:
    explicit BufferReadMap(GstBuffer* buffer) : buffer_(buffer), ok_(gst_buffer_map(buffer, &map_, GST_MAP_READ)) {}
    ~BufferReadMap()
    {
        if (ok_)
            gst_buffer_unmap(buffer_, &map_);
    }
    BufferReadMap(const BufferReadMap&) = delete;
    BufferReadMap& operator=(const BufferReadMap&) = delete;

    bool ok() const { return ok_; }
    const guint8* data() const { return map_.data; }
    gsize size() const { return map_.size; }

private:
    GstBuffer* buffer_;
    GstMapInfo map_{};
    bool ok_;
};

// A video buffer mapped plane by plane for reading for as long as this lives.
class VideoFrameReadMap {
public:
    VideoFrameReadMap(const GstVideoInfo& info, GstBuffer* buffer)
        : ok_(gst_video_frame_map(&frame_, const_cast<GstVideoInfo*>(&info), buffer, GST_MAP_READ))
    {
    }
    ~VideoFrameReadMap()
    {
        if (ok_)
            gst_video_frame_unmap(&frame_);
    }
    VideoFrameReadMap(const VideoFrameReadMap&) = delete;
    VideoFrameReadMap& operator=(const VideoFrameReadMap&) = delete;

    bool ok() const { return ok_; }
    const guint8* plane(int i) const { return static_cast<const guint8*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, i)); }
    int stride(int i) const { return GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, i); }

private:
    GstVideoFrame frame_{};
    bool ok_;
};

// An error message as GStreamer's bus carries it, made from our own text.
inline GstMessage* newErrorMessage(GstElement* source, const char* text)
{
    GErrorHandle error(g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, text));
    return gst_message_new_error(GST_OBJECT(source), error.get(), nullptr);
}

} // namespace orvelo
