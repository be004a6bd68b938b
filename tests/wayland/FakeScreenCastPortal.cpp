// A desktop portal that shares "the screen" as a real PipeWire video stream, for a desktop
// whose own portal cannot share it here (xdg-desktop-portal-wlr needs GPU buffers that a
// headless sway without a GPU does not have). The screen is a picture file: it is sent
// once when sharing starts and again whenever the file changes, and not otherwise, as a
// compositor sends frames only when the screen changes. When a file named "stop" appears
// beside it, the portal stops sharing, as a user would from the desktop's indicator.
//
// It prints "select cursor=N persist=N token=T" for each choice of sources, "started
// NODE" and "closed". Each start hands out the restore token "permission-N".
//
//   quorvel_test_screencast_portal PICTURE   (on DBUS_SESSION_BUS_ADDRESS's bus, with a
//                                             PipeWire server in XDG_RUNTIME_DIR)

#include "FakePortal.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// One entry of the portal's list of streams: a PipeWire node and its properties.
struct TStream {
    std::uint32_t Node;
    QVariantMap Properties;
};
using TStreams = QList<TStream>;
Q_DECLARE_METATYPE(TStream)
QDBusArgument& operator<<(QDBusArgument& out, const TStream& stream) {
    out.beginStructure();
    out << stream.Node << stream.Properties;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, TStream& stream) {
    in.beginStructure();
    in >> stream.Node >> stream.Properties;
    in.endStructure();
    return in;
}

namespace {

const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");

void Say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The PipeWire side: one output stream of BGRx frames of the picture, driven by us.
class TProducer {
public:
    explicit TProducer(const QImage& picture) : FPicture(picture) {
        FLoop = pw_thread_loop_new("portal", nullptr);
        FContext = pw_context_new(pw_thread_loop_get_loop(FLoop), nullptr, 0);
        pw_thread_loop_start(FLoop);
        pw_thread_loop_lock(FLoop);
        FCore = pw_context_connect(FContext, nullptr, 0);
        if (FCore == nullptr) {
            pw_thread_loop_unlock(FLoop);
            return;
        }
        FStream = pw_stream_new(FCore, "fake screen",
                                pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr));
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
                auto* self = static_cast<TProducer*>(data);
                self->FState = state;
                if (state == PW_STREAM_STATE_STREAMING)
                    self->FPending = true;
                pw_thread_loop_signal(self->FLoop, false);
            };
            e.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
                if (param != nullptr && id == SPA_PARAM_Format)
                    static_cast<TProducer*>(data)->Buffers();
            };
            e.process = [](void* data) { static_cast<TProducer*>(data)->Process(); };
            return e;
        }();
        pw_stream_add_listener(FStream, &FListener, &events, this);
        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        spa_rectangle size{static_cast<std::uint32_t>(FPicture.width()),
                           static_cast<std::uint32_t>(FPicture.height())};
        spa_fraction rate{0, 1};
        const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)))};
        pw_stream_connect(
            FStream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
            params, 1);
        while (FState != PW_STREAM_STATE_PAUSED && FState != PW_STREAM_STATE_STREAMING &&
               FState != PW_STREAM_STATE_ERROR)
            pw_thread_loop_wait(FLoop);
        FNode = pw_stream_get_node_id(FStream);
        // A frame is sent when one is pending, looked at every 20 ms.
        FTimer = pw_loop_add_timer(
            pw_thread_loop_get_loop(FLoop),
            [](void* data, std::uint64_t) {
                auto* self = static_cast<TProducer*>(data);
                if (self->FPending && self->FState == PW_STREAM_STATE_STREAMING)
                    pw_stream_trigger_process(self->FStream);
            },
            this);
        timespec first{0, 20000000};
        timespec every{0, 20000000};
        pw_loop_update_timer(pw_thread_loop_get_loop(FLoop), FTimer, &first, &every, false);
        pw_thread_loop_unlock(FLoop);
    }
    ~TProducer() {
        pw_thread_loop_stop(FLoop);
        if (FStream != nullptr)
            pw_stream_destroy(FStream);
        if (FCore != nullptr)
            pw_core_disconnect(FCore);
        pw_context_destroy(FContext);
        pw_thread_loop_destroy(FLoop);
    }
    std::uint32_t Node() const { return FNode; }
    void Show(const QImage& picture) {
        pw_thread_loop_lock(FLoop);
        FPicture = picture;
        FPending = true;
        pw_thread_loop_unlock(FLoop);
    }

private:
    void Buffers() {
        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const int stride = FPicture.width() * 4;
        const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * FPicture.height()),
            SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride)))};
        pw_stream_update_params(FStream, params, 1);
    }
    void Process() {
        pw_buffer* b = pw_stream_dequeue_buffer(FStream);
        if (b == nullptr)
            return;
        spa_data& d = b->buffer->datas[0];
        const int stride = FPicture.width() * 4;
        if (d.data != nullptr && d.maxsize >= std::uint32_t(stride * FPicture.height())) {
            for (int y = 0; y < FPicture.height(); ++y)
                std::memcpy(static_cast<char*>(d.data) + y * stride, FPicture.constScanLine(y),
                            stride);
            d.chunk->offset = 0;
            d.chunk->stride = stride;
            d.chunk->size = stride * FPicture.height();
            FPending = false;
        }
        pw_stream_queue_buffer(FStream, b);
    }

    QImage FPicture;
    pw_thread_loop* FLoop = nullptr;
    pw_context* FContext = nullptr;
    pw_core* FCore = nullptr;
    pw_stream* FStream = nullptr;
    spa_hook FListener{};
    spa_source* FTimer = nullptr;
    pw_stream_state FState = PW_STREAM_STATE_UNCONNECTED;
    bool FPending = true;
    std::uint32_t FNode = SPA_ID_INVALID;
};

class TPortal final : public quorvel::test::TFakePortal {
public:
    explicit TPortal(QString picture) : TFakePortal(kScreenCast), FPicture(std::move(picture)) {
        FWatch.setInterval(100);
        QObject::connect(&FWatch, &QTimer::timeout, [this] { Watch(); });
        FWatch.start();
    }

protected:
    bool Direct(const QDBusMessage& message, QDBusConnection& bus) override {
        if (message.interface() == QStringLiteral("org.freedesktop.DBus.Properties")) {
            const QString name = message.arguments().value(1).toString();
            const uint value = name == QStringLiteral("AvailableCursorModes")   ? 3u
                               : name == QStringLiteral("AvailableSourceTypes") ? 1u
                                                                                : 4u;
            bus.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
            return true;
        }
        if (message.interface() == kScreenCast &&
            message.member() == QStringLiteral("OpenPipeWireRemote")) {
            // The program gets its own copy; ours is closed, so that the connection ends
            // when the program lets go of it.
            const int fd = Remote();
            bus.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(fd))));
            ::close(fd);
            return true;
        }
        return false;
    }
    void SessionClosed() override {
        FProducer.reset();
        FSession.clear();
    }
    uint Answer(const QDBusMessage& message, const QVariantMap& options, QDBusConnection&,
                QVariantMap& results) override {
        const QString member = message.member();
        if (member == QStringLiteral("CreateSession")) {
            FSession = results.value(QStringLiteral("session_handle")).toString();
        } else if (member == QStringLiteral("SelectSources")) {
            Say(QStringLiteral("select cursor=%1 persist=%2 token=%3")
                    .arg(options.value(QStringLiteral("cursor_mode")).toUInt())
                    .arg(options.value(QStringLiteral("persist_mode")).toUInt())
                    .arg(options.value(QStringLiteral("restore_token")).toString()));
        } else if (member == QStringLiteral("Start")) {
            const QImage picture = Picture();
            FShown = QFileInfo(FPicture).lastModified();
            FProducer = std::make_unique<TProducer>(picture);
            if (picture.isNull() || FProducer->Node() == SPA_ID_INVALID)
                return 2;
            Say(QStringLiteral("started %1").arg(FProducer->Node()));
            QVariantMap properties;
            properties.insert(QStringLiteral("source_type"), 1u);
            const TStreams streams{{FProducer->Node(), properties}};
            results.insert(QStringLiteral("streams"), QVariant::fromValue(streams));
            results.insert(QStringLiteral("restore_token"),
                           QStringLiteral("permission-%1").arg(++FStarts));
        }
        return 0;
    }

private:
    QImage Picture() const { return QImage(FPicture).convertToFormat(QImage::Format_RGB32); }
    // A new connection to the PipeWire server for the program.
    static int Remote() {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = qgetenv("XDG_RUNTIME_DIR") + "/pipewire-0";
        std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            std::perror("pipewire-0");
        return fd;
    }
    void Watch() {
        if (!FProducer)
            return;
        const QFileInfo file(FPicture);
        if (file.lastModified() != FShown) {
            FShown = file.lastModified();
            const QImage picture = Picture();
            if (!picture.isNull())
                FProducer->Show(picture);
        }
        if (QFileInfo::exists(file.dir().filePath(QStringLiteral("stop")))) {
            FProducer.reset();
            QDBusMessage closed = QDBusMessage::createSignal(
                FSession, QStringLiteral("org.freedesktop.portal.Session"),
                QStringLiteral("Closed"));
            closed << QVariantMap();
            QDBusConnection::sessionBus().send(closed);
            Say(QStringLiteral("stopped"));
        }
    }

    QString FPicture;
    QString FSession;
    QDateTime FShown;
    QTimer FWatch;
    std::unique_ptr<TProducer> FProducer;
    int FStarts = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvel_test_screencast_portal PICTURE\n");
        return 2;
    }
    pw_init(&argc, &argv);
    qDBusRegisterMetaType<TStream>();
    qDBusRegisterMetaType<TStreams>();
    TPortal portal(QString::fromLocal8Bit(argv[1]));
    return portal.Serve(app);
}
