#include "platform/PipeWireStream.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace quorvel {

namespace {

// The Qt layout of a PipeWire video format whose pixels are four bytes; Invalid for any
// other. BGRx is RGB32 as it lies in memory on this little-endian machine.
QImage::Format QtFormatOf(std::uint32_t format) {
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        return QImage::Format_RGB32;
    case SPA_VIDEO_FORMAT_RGBx:
        return QImage::Format_RGBX8888;
    case SPA_VIDEO_FORMAT_RGBA:
        return QImage::Format_RGBA8888;
    default:
        return QImage::Format_Invalid;
    }
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    static_cast<TPipeWireStream*>(data)->StateChanged(state, error);
}

void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    static_cast<TPipeWireStream*>(data)->FormatChanged(id, param);
}

void OnProcess(void* data) {
    static_cast<TPipeWireStream*>(data)->Process();
}

const pw_stream_events kEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = OnStateChanged;
    events.param_changed = OnParamChanged;
    events.process = OnProcess;
    return events;
}();

void InitPipeWire() {
    static const bool done = [] {
        pw_init(nullptr, nullptr);
        return true;
    }();
    (void)done;
}

} // namespace

TPipeWireStream::TPipeWireStream(int fd, std::uint32_t node) : FListener(new spa_hook{}) {
    InitPipeWire();
    FLoop = pw_thread_loop_new("quorvel-screen", nullptr);
    if (FLoop == nullptr) {
        ::close(fd);
        throw std::runtime_error("PipeWire's thread cannot be started.");
    }
    FContext = pw_context_new(pw_thread_loop_get_loop(FLoop), nullptr, 0);
    if (FContext == nullptr || pw_thread_loop_start(FLoop) < 0) {
        ::close(fd);
        if (FContext != nullptr)
            pw_context_destroy(FContext);
        pw_thread_loop_destroy(FLoop);
        throw std::runtime_error("PipeWire's thread cannot be started.");
    }
    pw_thread_loop_lock(FLoop);
    FCore = pw_context_connect_fd(FContext, fd, nullptr, 0);
    std::string failure;
    if (FCore == nullptr) {
        failure = "The desktop's PipeWire connection cannot be used.";
    } else {
        FStream = pw_stream_new(FCore, "Quorvel screen recording",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                  "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        if (FStream == nullptr) {
            failure = "PipeWire cannot make a stream.";
        } else {
            pw_stream_add_listener(FStream, FListener.get(), &kEvents, this);
            // Four-byte pixels only, in mapped memory (no GPU buffers): each frame is copied
            // out for the encoder.
            std::uint8_t buffer[1024];
            spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
            spa_rectangle size{1920, 1080};
            spa_rectangle minSize{1, 1};
            spa_rectangle maxSize{16384, 16384};
            spa_fraction rate{30, 1};
            spa_fraction minRate{0, 1};
            spa_fraction maxRate{1000, 1};
            const spa_pod* params[1];
            params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
                SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
                SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
                SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                       SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                       SPA_VIDEO_FORMAT_RGBA),
                SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
                SPA_FORMAT_VIDEO_framerate,
                SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)));
            const int result =
                pw_stream_connect(FStream, PW_DIRECTION_INPUT, node,
                                  static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT |
                                                               PW_STREAM_FLAG_MAP_BUFFERS),
                                  params, 1);
            if (result < 0)
                failure = std::string("PipeWire cannot connect to the shared screen: ") +
                          spa_strerror(result);
        }
    }
    pw_thread_loop_unlock(FLoop);
    if (!failure.empty()) {
        Teardown();
        throw std::runtime_error(failure);
    }
}

TPipeWireStream::~TPipeWireStream() {
    Teardown();
}

void TPipeWireStream::Teardown() {
    if (FLoop == nullptr)
        return;
    // The stream and the connection go while the loop still runs, so that the server
    // hears of it and lets go of the screen.
    pw_thread_loop_lock(FLoop);
    if (FStream != nullptr) {
        pw_stream_disconnect(FStream);
        pw_stream_destroy(FStream);
    }
    if (FCore != nullptr)
        pw_core_disconnect(FCore);
    pw_thread_loop_unlock(FLoop);
    pw_thread_loop_stop(FLoop);
    if (FContext != nullptr)
        pw_context_destroy(FContext);
    pw_thread_loop_destroy(FLoop);
    FStream = nullptr;
    FCore = nullptr;
    FContext = nullptr;
    FLoop = nullptr;
}

bool TPipeWireStream::WaitForFrame(int timeoutMs) {
    std::unique_lock lock(FLock);
    FArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return !FFrame.isNull() || !FEnded.empty(); });
    return !FFrame.isNull();
}

QImage TPipeWireStream::Frame() const {
    std::lock_guard lock(FLock);
    return FFrame;
}

std::string TPipeWireStream::Ended() const {
    std::lock_guard lock(FLock);
    return FEnded;
}

void TPipeWireStream::StateChanged(int state, const char* error) {
    if (state != PW_STREAM_STATE_ERROR && state != PW_STREAM_STATE_UNCONNECTED)
        return;
    std::lock_guard lock(FLock);
    if (FEnded.empty())
        FEnded = error != nullptr && *error != 0 ? error : "the stream was closed";
    FArrived.notify_all();
}

// The server has chosen a format: the buffers wanted for it are mapped memory, with the
// header that marks a frame as damaged.
void TPipeWireStream::FormatChanged(std::uint32_t id, const spa_pod* param) {
    if (param == nullptr || id != SPA_PARAM_Format)
        return;
    std::uint32_t mediaType = 0;
    std::uint32_t mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
        return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0)
        return;
    FFormat = info.format;
    FWidth = static_cast<int>(info.size.width);
    FHeight = static_cast<int>(info.size.height);

    std::uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* params[2];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
        SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header)))));
    pw_stream_update_params(FStream, params, 2);
}

// The newest buffer waiting is copied out; any older ones go back unread.
void TPipeWireStream::Process() {
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(FStream)) {
        if (newest != nullptr)
            pw_stream_queue_buffer(FStream, newest);
        newest = next;
    }
    if (newest == nullptr)
        return;
    const spa_buffer* buffer = newest->buffer;
    const QImage::Format format = QtFormatOf(FFormat);
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    bool usable = format != QImage::Format_Invalid && buffer->n_datas > 0 &&
                  buffer->datas[0].data != nullptr && buffer->datas[0].chunk != nullptr &&
                  (header == nullptr || (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) == 0);
    QImage frame;
    if (usable) {
        const spa_data& data = buffer->datas[0];
        const spa_chunk& chunk = *data.chunk;
        const int stride = chunk.stride > 0 ? chunk.stride : FWidth * 4;
        const std::uint64_t needed =
            std::uint64_t(chunk.offset) + std::uint64_t(stride) * std::uint64_t(FHeight);
        // A chunk that would run past its buffer, or rows too short for the width, is a
        // frame we cannot read whole: it is skipped, not read out of bounds.
        usable = (chunk.flags & SPA_CHUNK_FLAG_CORRUPTED) == 0 && FWidth > 0 && FHeight > 0 &&
                 stride >= FWidth * 4 && needed <= data.maxsize;
        if (usable) {
            const auto* bits = static_cast<const uchar*>(data.data) + chunk.offset;
            const QImage view(bits, FWidth, FHeight, stride, format);
            frame = format == QImage::Format_RGB32 ? view.copy()
                                                   : view.convertToFormat(QImage::Format_RGB32);
        }
    }
    pw_stream_queue_buffer(FStream, newest);
    if (frame.isNull())
        return;
    std::lock_guard lock(FLock);
    FFrame = std::move(frame);
    FArrived.notify_all();
}

} // namespace quorvel
