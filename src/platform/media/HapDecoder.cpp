#include "platform/media/HapDecoder.h"

#include "platform/Log.h"
#include "platform/media/DxtDecoder.h"
#include "platform/media/HapFrame.h"

#include <gst/gst.h>
#include <gst/video/gstvideodecoder.h>
#include <gst/video/video.h>

#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

using orvelo::PixelOrder;

// The caps qtdemux gives a QuickTime track by its sample-description fourcc.
constexpr const char* sinkCaps = "video/x-gst-fourcc-Hap1; video/x-gst-fourcc-Hap5; video/x-gst-fourcc-HapY; "
                                 "video/x-gst-fourcc-HapM";
// BGRA first: it is what the player composes in, so no conversion follows.
constexpr const char* srcCaps = "video/x-raw, format=(string){ BGRA, RGBA }, width=(int)[ 1, 16384 ], "
                                "height=(int)[ 1, 16384 ], framerate=(fraction)[ 0/1, 2147483647/1 ]";

// Frames smaller than this are decoded on the streaming thread alone: a helper thread's start
// costs more than it saves on them.
constexpr std::uint32_t minPixelsToSplit = 640 * 480;

// The C++ side of an element instance, made in init and destroyed in finalize, so GObject's
// zero-filled instance never holds a C++ object.
struct HapState {
    orvelo::HapUnpacker unpacker{2};
    GstVideoCodecState* output = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    PixelOrder order = PixelOrder::bgra;
};

struct OrveloHapDec {
    GstVideoDecoder parent;
    HapState* state;
};

struct OrveloHapDecClass {
    GstVideoDecoderClass parent;
};

G_DEFINE_TYPE(OrveloHapDec, orvelo_hap_dec, GST_TYPE_VIDEO_DECODER)

HapState& stateOf(GstVideoDecoder* decoder)
{
    return *reinterpret_cast<OrveloHapDec*>(decoder)->state;
}

void clearOutput(HapState& state)
{
    if (state.output)
        gst_video_codec_state_unref(state.output);
    state.output = nullptr;
}

// Downstream's first choice of our two orders, BGRA when it has none.
PixelOrder negotiatedOrder(GstVideoDecoder* decoder)
{
    GstCaps* allowed = gst_pad_get_allowed_caps(GST_VIDEO_DECODER_SRC_PAD(decoder));
    PixelOrder order = PixelOrder::bgra;
    if (allowed && !gst_caps_is_empty(allowed) && !gst_caps_is_any(allowed)) {
        allowed = gst_caps_fixate(allowed);
        const gchar* format = gst_structure_get_string(gst_caps_get_structure(allowed, 0), "format");
        if (format && std::strcmp(format, "RGBA") == 0)
            order = PixelOrder::rgba;
    }
    if (allowed)
        gst_caps_unref(allowed);
    return order;
}

gboolean hapSetFormat(GstVideoDecoder* decoder, GstVideoCodecState* input)
{
    HapState& state = stateOf(decoder);
    const GstStructure* structure = gst_caps_get_structure(input->caps, 0);
    gint width = 0;
    gint height = 0;
    if (!gst_structure_get_int(structure, "width", &width) || !gst_structure_get_int(structure, "height", &height) ||
        width < 1 || height < 1 || width > static_cast<gint>(orvelo::hapMaxDimension) ||
        height > static_cast<gint>(orvelo::hapMaxDimension)) {
        GST_ELEMENT_ERROR(decoder, STREAM, FORMAT, ("HAP video of size %dx%d cannot be decoded", width, height),
                          ("caps: %" GST_PTR_FORMAT, input->caps));
        return FALSE;
    }
    state.width = static_cast<std::uint32_t>(width);
    state.height = static_cast<std::uint32_t>(height);
    state.order = negotiatedOrder(decoder);

    clearOutput(state);
    state.output = gst_video_decoder_set_output_state(
        decoder, state.order == PixelOrder::rgba ? GST_VIDEO_FORMAT_RGBA : GST_VIDEO_FORMAT_BGRA, state.width,
        state.height, input);
    return gst_video_decoder_negotiate(decoder);
}

// Reports a frame that cannot be shown and drops it; the stream goes on with the next frame
// unless the "max-errors" property says otherwise. Its default (never fatal) makes the base
// class only log, so the warning on the bus is ours: the player's log must show the frame.
GstFlowReturn dropCorruptFrame(GstVideoDecoder* decoder, GstVideoCodecFrame* frame, const std::string& reason)
{
    GstFlowReturn ret = GST_FLOW_OK;
    GST_VIDEO_DECODER_ERROR(decoder, 1, STREAM, DECODE, ("Corrupt HAP frame: %s", reason.c_str()), (nullptr), ret);
    if (ret == GST_FLOW_OK)
        GST_ELEMENT_WARNING(decoder, STREAM, DECODE, ("Corrupt HAP frame dropped: %s", reason.c_str()), (nullptr));
    gst_video_decoder_drop_frame(decoder, frame);
    return ret;
}

GstFlowReturn hapHandleFrame(GstVideoDecoder* decoder, GstVideoCodecFrame* frame)
{
    HapState& state = stateOf(decoder);
    // Every HAP frame stands alone.
    GST_VIDEO_CODEC_FRAME_SET_SYNC_POINT(frame);
    if (!state.output) {
        GST_ELEMENT_ERROR(decoder, CORE, NEGOTIATION, ("HAP frame arrived before its caps"), (nullptr));
        gst_video_decoder_drop_frame(decoder, frame);
        return GST_FLOW_NOT_NEGOTIATED;
    }

    GstMapInfo in;
    if (!gst_buffer_map(frame->input_buffer, &in, GST_MAP_READ))
        return dropCorruptFrame(decoder, frame, "its buffer cannot be read");
    // The textures may point into the input, so it stays mapped until they are decoded.
    const orvelo::HapUnpackResult unpacked = state.unpacker.unpack({in.data, in.size}, state.width, state.height);
    if (!unpacked) {
        gst_buffer_unmap(frame->input_buffer, &in);
        return dropCorruptFrame(decoder, frame, unpacked.error);
    }

    GstFlowReturn ret = gst_video_decoder_allocate_output_frame(decoder, frame);
    if (ret != GST_FLOW_OK) {
        gst_buffer_unmap(frame->input_buffer, &in);
        gst_video_decoder_release_frame(decoder, frame);
        return ret;
    }
    GstVideoFrame out;
    if (!gst_video_frame_map(&out, &state.output->info, frame->output_buffer, GST_MAP_WRITE)) {
        gst_buffer_unmap(frame->input_buffer, &in);
        return dropCorruptFrame(decoder, frame, "its output buffer cannot be written");
    }

    const orvelo::HapTextures& textures = *unpacked.textures;
    const orvelo::PixelTarget target{static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&out, 0)),
                                     static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&out, 0)), state.width,
                                     state.height, state.order};
    const orvelo::DxtFormat format = orvelo::dxtFormatOf(textures.colour.format);
    const std::span<const std::uint8_t> alpha =
        textures.alpha ? textures.alpha->blocks : std::span<const std::uint8_t>{};
    const std::uint32_t rows = orvelo::dxtBlockRows(state.height);
    bool ok = true;
    if (state.width * state.height >= minPixelsToSplit) {
        bool helperOk = true;
        std::thread helper(
            [&] { helperOk = orvelo::decodeDxt(format, textures.colour.blocks, alpha, target, rows / 2, rows); });
        ok = orvelo::decodeDxt(format, textures.colour.blocks, alpha, target, 0, rows / 2);
        helper.join();
        ok = ok && helperOk;
    } else {
        ok = orvelo::decodeDxt(format, textures.colour.blocks, alpha, target, 0, rows);
    }
    gst_video_frame_unmap(&out);
    gst_buffer_unmap(frame->input_buffer, &in);
    if (!ok)
        return dropCorruptFrame(decoder, frame, "its texture does not fit the frame size");
    return gst_video_decoder_finish_frame(decoder, frame);
}

gboolean hapStop(GstVideoDecoder* decoder)
{
    clearOutput(stateOf(decoder));
    return TRUE;
}

void hapFinalize(GObject* object)
{
    auto* self = reinterpret_cast<OrveloHapDec*>(object);
    clearOutput(*self->state);
    delete self->state;
    self->state = nullptr;
    G_OBJECT_CLASS(orvelo_hap_dec_parent_class)->finalize(object);
}

void orvelo_hap_dec_class_init(OrveloHapDecClass* type)
{
    G_OBJECT_CLASS(type)->finalize = hapFinalize;
    auto* element = GST_ELEMENT_CLASS(type);
    gst_element_class_add_pad_template(
        element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, gst_caps_from_string(sinkCaps)));
    gst_element_class_add_pad_template(
        element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, gst_caps_from_string(srcCaps)));
    gst_element_class_set_static_metadata(element, "HAP video decoder", "Codec/Decoder/Video",
                                          "Decodes HAP, HAP Alpha, HAP Q and HAP Q Alpha frames to RGBA or BGRA",
                                          "Orvelo");
    auto* video = GST_VIDEO_DECODER_CLASS(type);
    video->set_format = hapSetFormat;
    video->handle_frame = hapHandleFrame;
    video->stop = hapStop;
}

void orvelo_hap_dec_init(OrveloHapDec* self)
{
    self->state = new HapState;
    // qtdemux hands over one whole frame per buffer.
    gst_video_decoder_set_packetized(GST_VIDEO_DECODER(self), TRUE);
}

gboolean registerElements(GstPlugin* plugin)
{
    return gst_element_register(plugin, "orvelohapdec", GST_RANK_PRIMARY, orvelo_hap_dec_get_type());
}

} // namespace

namespace orvelo {

void registerHapDecoder()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "orvelohap", "HAP video decoding",
                                        registerElements, ORVELO_VERSION_TEXT, "Proprietary", "orvelo", "Orvelo",
                                        "https://orvelo.org"))
            logLine("HapDecoder: the HAP decoder element could not be registered; HAP files will not play");
    });
}

} // namespace orvelo
