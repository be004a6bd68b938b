// The Wayland implementation of the platform layer. Screen pixels come, first match wins,
// from the wlroots screen-copy protocol over a connection of our own (sway and the other
// wlroots compositors), from KWin's screenshot interface, or from the desktop portal's
// screenshot (GNOME and the rest); which one is probed once, when the platform is made.
// A Wayland compositor keeps window placement, stacking, the pointer over other programs'
// windows and global keys to itself: the capability queries say so, and the calls that
// cannot be honoured act on this program's own windows through Qt where that is possible.
// sway alone tells which window has the focus and where each window stands, through its
// IPC socket; other programs' windows then get ids of their own here (sway's container
// ids, marked apart from Qt's).

#include "platform/WaylandPlatform.h"
#include "platform/KGlobalAccelHotKey.h"
#include "platform/PipeWireStream.h"
#include "platform/PortalHotKey.h"
#include "platform/ScreenCastPortal.h"
#include "platform/SwayIpc.h"
#include "platform/SwayTree.h"
#include "platform/WaylandLayerSurface.h"
#include "platform/WaylandOutput.h"
#include "platform/WaylandShots.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <QCursor>
#include <QGuiApplication>
#include <QRegion>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace quorvel {

namespace {

// How long a compositor may take to hand over one output's pixels.
constexpr int kFrameTimeoutMs = 5000;
// How long sway may take to describe its windows.
constexpr int kSwayTimeoutMs = 2000;
// Window ids that stand for sway's containers: the container id with the top bit set.
constexpr TWindowId kSwayWindow = 0x80000000u;

using TOutput = TWaylandOutput;

// A shared-memory buffer the compositor copies an output into, kept between captures of
// the same size.
struct TShmBuffer {
    int Fd = -1;
    void* Data = MAP_FAILED;
    std::size_t Size = 0;
    wl_buffer* Buffer = nullptr;
    std::uint32_t Format = 0;
    int Width = 0;
    int Height = 0;
    int Stride = 0;

    bool Fits(std::uint32_t format, int width, int height, int stride) const {
        return Buffer != nullptr && Format == format && Width == width && Height == height &&
               Stride == stride;
    }
    void Release() {
        if (Buffer != nullptr)
            wl_buffer_destroy(Buffer);
        if (Data != MAP_FAILED)
            ::munmap(Data, Size);
        if (Fd >= 0)
            ::close(Fd);
        *this = TShmBuffer{};
    }
};

// What the compositor has said about one frame being copied.
struct TFrameState {
    std::uint32_t Format = 0;
    int Width = 0;
    int Height = 0;
    int Stride = 0;
    bool HaveShm = false;
    bool BufferDone = false;
    bool YInvert = false;
    bool Ready = false;
    bool Failed = false;
};

class TNoHotKey final : public THotKey {
public:
    bool Register(std::uint8_t, unsigned) override { return false; }
    void Unregister() override {}
};

QWindow* OwnWindow(TWindowId id) {
    if (id == 0 || qGuiApp == nullptr)
        return nullptr;
    for (QWindow* w : QGuiApplication::allWindows())
        if (static_cast<TWindowId>(w->winId()) == id)
            return w;
    return nullptr;
}

// A monitor shared through the desktop portal, its frames taken in from PipeWire.
class TPortalScreenStream final : public TScreenStream {
public:
    TPortalScreenStream(bool cursor, const std::string& permission) : FSession(cursor, permission) {
        try {
            FStream = std::make_unique<TPipeWireStream>(FSession.TakeConnection(), FSession.Node());
        } catch (const std::runtime_error& e) {
            throw EPlatformError(e.what());
        }
        // The first frame is there before the recording starts, so that it never begins
        // with nothing to show.
        if (!FStream->WaitForFrame(kFirstFrameMs)) {
            const std::string ended = FStream->Ended();
            throw EPlatformError(ended.empty() ? "The desktop shares the screen but sends no "
                                                 "picture of it."
                                               : "The shared screen ended: " + ended);
        }
    }
    QImage Frame() override { return FStream->Frame(); }
    std::string Ended() override {
        return FSession.Closed() ? "the desktop ended the sharing" : FStream->Ended();
    }
    const std::string& Permission() const { return FSession.Permission(); }

private:
    static constexpr int kFirstFrameMs = 5000;
    TScreenCastSession FSession;
    std::unique_ptr<TPipeWireStream> FStream;
};

class TWaylandPlatform final : public TPlatform {
public:
    TWaylandPlatform();
    ~TWaylandPlatform() override;

    TCapabilities Capabilities() override {
        // Every Wayland desktop keeps these to itself but for sway's list of windows. The
        // capture key is taken through KDE's global shortcut service where it runs;
        // elsewhere it goes through the desktop's own keyboard settings (see the hotkey
        // dialog). A layer shell (wlroots compositors) places and stacks surfaces of ours,
        // not our Qt windows.
        TCapabilities can;
        can.ListWindows = FSwayWorks;
        can.GlobalKey = KGlobalAccelAvailable() || PortalShortcutsAvailable();
        can.LayerSurfaces = FLayerShell;
        can.FindPointer = FLayerShell;
        can.RecordScreen = FSource == TPixelSource::Screencopy || FStreamScreen;
        return can;
    }
    void SetCursorInGrabs(bool cursor) override { FCursorInGrabs = cursor; }
    std::vector<TRect> Monitors() override;
    TRect ScreenRect() override;
    TPoint PointerPosition() override;
    TWindowId ActiveWindow() override;
    TWindowId WindowAt(TPoint point) override;
    std::optional<TRect> WindowBounds(TWindowId window) override;
    QImage GrabScreen(const TRect& rect) override;
    std::optional<TCursorImage> Cursor() override { return std::nullopt; }
    void Prepare() override {}
    void ReleaseBuffers() override;
    void PlaceWindow(TWindowId window, const TRect& bounds) override;
    void ShapeWindow(TWindowId window, const std::vector<TRect>& parts) override;
    void KeepAboveUnlisted(TWindowId) override {}
    bool StartWindowMove(TWindowId window, TPoint from) override;
    bool DrawPicture(TWindowId, const QImage&, const TRect&) override { return false; }
    std::unique_ptr<THotKey> CreateHotKey(std::function<void()> onPress) override {
        // KWin's own service first: KDE's portal binds nothing for a program it cannot name.
        if (KGlobalAccelAvailable())
            if (std::unique_ptr<THotKey> key = CreateKGlobalAccelHotKey(std::move(onPress)))
                return key;
        if (std::unique_ptr<THotKey> key = CreatePortalHotKey(std::move(onPress)))
            return key;
        return std::make_unique<TNoHotKey>();
    }
    std::unique_ptr<TScreenStream> StreamScreen(const TRect&, bool cursor,
                                                std::string& permission) override {
        if (!FStreamScreen)
            return nullptr;
        auto stream = std::make_unique<TPortalScreenStream>(cursor, permission);
        permission = stream->Permission();
        return stream;
    }
    std::unique_ptr<TLayerSurface> CreateLayerSurface(TSurfaceLayer layer, TSurfaceKeys keys,
                                                      TLayerSurface::THandlers handlers) override {
        return FLayerShell ? CreateWaylandLayerSurface(layer, keys, std::move(handlers)) : nullptr;
    }

    // The registry's announcements of globals that come and go.
    static void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void GlobalRemove(void* data, wl_registry* registry, std::uint32_t name);

private:
    // Reads and handles events until `done` holds; false when the connection broke or the
    // compositor kept silent for the time.
    template <typename F> bool DispatchUntil(F done, int timeoutMs);
    // One output's pixels as an RGB32 picture of its mode's size.
    QImage GrabOutput(const TOutput& output);
    TShmBuffer& BufferFor(const TFrameState& frame);
    double Ratio(const QWindow* window) const;
    // sway's windows on show now; none when sway does not answer.
    std::optional<std::vector<TSwayWindow>> SwayWindowList() const;

    std::mutex FLock;
    wl_display* FDisplay = nullptr;
    wl_registry* FRegistry = nullptr;
    wl_shm* FShm = nullptr;
    zwlr_screencopy_manager_v1* FScreencopy = nullptr;
    std::uint32_t FScreencopyVersion = 0;
    std::vector<std::unique_ptr<TOutput>> FOutputs;
    TShmBuffer FBuffer;
    TPixelSource FSource = TPixelSource::None;
    // Recordings take the screen as the desktop portal's stream.
    bool FStreamScreen = false;
    bool FCursorInGrabs = false;
    bool FLayerShell = false; // the compositor offers zwlr_layer_shell_v1
    std::string FSwaySocket;
    bool FSwayWorks = false;
};

TWindowId SwayWindowId(std::int64_t id) {
    if (id <= 0 || id >= static_cast<std::int64_t>(kSwayWindow))
        return 0;
    return kSwayWindow | static_cast<TWindowId>(id);
}

// The id of a window sway lists: one of this program's own windows by Qt's id (the one
// with the keyboard focus when sway has it focused, else one of the same size), another
// program's by sway's.
TWindowId IdOf(const std::vector<TSwayWindow>& windows, std::optional<std::int64_t> id) {
    if (!id)
        return 0;
    const auto it = std::find_if(windows.begin(), windows.end(),
                                 [&](const TSwayWindow& w) { return w.Id == *id; });
    if (it == windows.end() || it->Pid != static_cast<std::int64_t>(::getpid()) ||
        qGuiApp == nullptr)
        return SwayWindowId(*id);
    if (it->Focused && QGuiApplication::focusWindow() != nullptr)
        return static_cast<TWindowId>(QGuiApplication::focusWindow()->winId());
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        const double ratio = w->devicePixelRatio();
        if (w->isVisible() && qRound(w->width() * ratio) == it->Bounds.Width() &&
            qRound(w->height() * ratio) == it->Bounds.Height())
            return static_cast<TWindowId>(w->winId());
    }
    return SwayWindowId(*id);
}

const wl_registry_listener kRegistryListener = {
    .global = &TWaylandPlatform::Global,
    .global_remove = &TWaylandPlatform::GlobalRemove,
};

const zwlr_screencopy_frame_v1_listener kFrameListener = {
    .buffer =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
           std::uint32_t height, std::uint32_t stride) {
            auto* f = static_cast<TFrameState*>(data);
            f->Format = format;
            f->Width = static_cast<int>(width);
            f->Height = static_cast<int>(height);
            f->Stride = static_cast<int>(stride);
            f->HaveShm = true;
        },
    .flags =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
            static_cast<TFrameState*>(data)->YInvert =
                (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
        },
    .ready = [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                std::uint32_t) { static_cast<TFrameState*>(data)->Ready = true; },
    .failed = [](void* data,
                 zwlr_screencopy_frame_v1*) { static_cast<TFrameState*>(data)->Failed = true; },
    .damage = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t) {},
    .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                       std::uint32_t) {},
    .buffer_done =
        [](void* data, zwlr_screencopy_frame_v1*) {
            static_cast<TFrameState*>(data)->BufferDone = true;
        },
};

void TWaylandPlatform::Global(void* data, wl_registry* registry, std::uint32_t name,
                              const char* interface, std::uint32_t version) {
    auto* self = static_cast<TWaylandPlatform*>(data);
    const std::string iface(interface);
    if (iface == wl_output_interface.name) {
        auto output = std::make_unique<TOutput>();
        output->Name = name;
        output->Handle = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
        wl_output_add_listener(output->Handle, &kWaylandOutputListener, output.get());
        self->FOutputs.push_back(std::move(output));
    } else if (iface == wl_shm_interface.name) {
        self->FShm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (iface == "zwlr_layer_shell_v1") {
        self->FLayerShell = true;
    } else if (iface == zwlr_screencopy_manager_v1_interface.name) {
        self->FScreencopyVersion = std::min(version, 3u);
        self->FScreencopy = static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_screencopy_manager_v1_interface, self->FScreencopyVersion));
    }
}

void TWaylandPlatform::GlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<TWaylandPlatform*>(data);
    std::erase_if(self->FOutputs, [name](const std::unique_ptr<TOutput>& o) {
        if (o->Name != name)
            return false;
        wl_output_destroy(o->Handle);
        return true;
    });
}

TWaylandPlatform::TWaylandPlatform() {
    FDisplay = wl_display_connect(nullptr);
    if (FDisplay == nullptr)
        throw EPlatformError("Cannot connect to the Wayland display.");
    FRegistry = wl_display_get_registry(FDisplay);
    wl_registry_add_listener(FRegistry, &kRegistryListener, this);
    // The first round trip brings the globals, the second the outputs' own events.
    wl_display_roundtrip(FDisplay);
    wl_display_roundtrip(FDisplay);
    if (FScreencopy != nullptr && FShm != nullptr)
        FSource = TPixelSource::Screencopy;
    else
        FSource = ProbeDesktopShots();
    // Where the screen can only be had as screenshots, a recording takes it as the
    // portal's stream; the user may ask for that stream on a compositor with its own
    // screen copy too.
    const char* recordFrom = std::getenv("QUORVEL_RECORD_FROM");
    const bool portalAsked = recordFrom != nullptr && std::strcmp(recordFrom, "portal") == 0;
    FStreamScreen = (FSource != TPixelSource::Screencopy || portalAsked) && ScreenCastAvailable();
    // Under sway its IPC socket is named in the environment; the windows are offered only
    // when it answers with a tree.
    if (const char* socket = std::getenv("SWAYSOCK"); socket != nullptr && *socket != 0) {
        FSwaySocket = socket;
        FSwayWorks = SwayWindowList().has_value();
    }
}

TWaylandPlatform::~TWaylandPlatform() {
    FBuffer.Release();
    for (const auto& o : FOutputs)
        wl_output_destroy(o->Handle);
    if (FScreencopy != nullptr)
        zwlr_screencopy_manager_v1_destroy(FScreencopy);
    if (FShm != nullptr)
        wl_shm_destroy(FShm);
    if (FRegistry != nullptr)
        wl_registry_destroy(FRegistry);
    wl_display_disconnect(FDisplay);
}

template <typename F> bool TWaylandPlatform::DispatchUntil(F done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        while (wl_display_prepare_read(FDisplay) != 0)
            if (wl_display_dispatch_pending(FDisplay) < 0)
                return false;
        if (done()) {
            wl_display_cancel_read(FDisplay);
            break;
        }
        wl_display_flush(FDisplay);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{wl_display_get_fd(FDisplay), POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(FDisplay);
            if (ready < 0 && errno == EINTR)
                continue;
            return false;
        }
        if (wl_display_read_events(FDisplay) < 0 || wl_display_dispatch_pending(FDisplay) < 0)
            return false;
    }
    return true;
}

std::vector<TRect> TWaylandPlatform::Monitors() {
    std::lock_guard lock(FLock);
    wl_display_roundtrip(FDisplay); // outputs plugged in or changed since
    std::vector<TRect> monitors;
    for (const auto& o : FOutputs)
        if (o->Width > 0 && o->Height > 0)
            monitors.push_back(o->Rect());
    return monitors;
}

TRect TWaylandPlatform::ScreenRect() {
    const std::vector<TRect> monitors = Monitors();
    if (monitors.empty())
        return {};
    TRect all = monitors.front();
    for (const TRect& m : monitors) {
        all.Left = std::min(all.Left, m.Left);
        all.Top = std::min(all.Top, m.Top);
        all.Right = std::max(all.Right, m.Right);
        all.Bottom = std::max(all.Bottom, m.Bottom);
    }
    return all;
}

double TWaylandPlatform::Ratio(const QWindow* window) const {
    if (window != nullptr)
        return window->devicePixelRatio();
    const QScreen* screen = qGuiApp != nullptr ? QGuiApplication::primaryScreen() : nullptr;
    return screen != nullptr ? screen->devicePixelRatio() : 1.0;
}

TPoint TWaylandPlatform::PointerPosition() {
    // A layer shell lets a surface of ours learn where the pointer enters it.
    if (FLayerShell && qGuiApp != nullptr)
        if (const std::optional<TPoint> p = FindWaylandPointer())
            return *p;
    // Qt knows the pointer only while it is over one of our windows (the last place it
    // was seen there otherwise): the best a Wayland client can tell without.
    if (qGuiApp == nullptr)
        return {};
    const QPoint p = QCursor::pos();
    const double ratio = Ratio(nullptr);
    return {static_cast<int>(p.x() * ratio), static_cast<int>(p.y() * ratio)};
}

std::optional<std::vector<TSwayWindow>> TWaylandPlatform::SwayWindowList() const {
    if (FSwaySocket.empty())
        return std::nullopt;
    const std::optional<std::string> tree = SwayQuery(FSwaySocket, kSwayGetTree, kSwayTimeoutMs);
    if (!tree)
        return std::nullopt;
    return SwayWindows(*tree);
}

TWindowId TWaylandPlatform::ActiveWindow() {
    const auto windows = SwayWindowList();
    return windows ? IdOf(*windows, SwayFocusedWindow(*windows)) : 0;
}

TWindowId TWaylandPlatform::WindowAt(TPoint point) {
    const auto windows = SwayWindowList();
    return windows ? IdOf(*windows, SwayWindowAt(*windows, point)) : 0;
}

std::optional<TRect> TWaylandPlatform::WindowBounds(TWindowId window) {
    // Our own windows as far as Qt was told where they are; other programs' windows as
    // sway places them now.
    const QWindow* w = OwnWindow(window);
    if (w == nullptr && (window & kSwayWindow) != 0) {
        const auto windows = SwayWindowList();
        if (!windows)
            return std::nullopt;
        for (const TSwayWindow& s : *windows)
            if (SwayWindowId(s.Id) == window)
                return s.Bounds;
        return std::nullopt;
    }
    if (w == nullptr)
        return std::nullopt;
    // Qt does not learn where the compositor put a window; sway tells, for a window of ours
    // it lists at this window's size (the focused one first when this one has the focus).
    // Surfaces sway does not list as windows (overlays of the layer shell) keep Qt's idea.
    if (const auto windows = FSwayWorks ? SwayWindowList() : std::nullopt) {
        const double ratio = Ratio(w);
        const bool focused = QGuiApplication::focusWindow() == w;
        std::optional<TRect> found;
        for (const TSwayWindow& s : *windows)
            if (s.Pid == static_cast<std::int64_t>(::getpid()) &&
                s.Bounds.Width() == qRound(w->width() * ratio) &&
                s.Bounds.Height() == qRound(w->height() * ratio) &&
                (!found || s.Focused == focused))
                found = s.Bounds;
        if (found)
            return found;
    }
    const QRect g = w->frameGeometry();
    const double ratio = Ratio(w);
    const auto px = [ratio](int v) { return static_cast<int>(v * ratio + 0.5); };
    return TRect{px(g.left()), px(g.top()), px(g.left() + g.width()), px(g.top() + g.height())};
}

void TWaylandPlatform::PlaceWindow(TWindowId window, const TRect& bounds) {
    // The compositor decides where a window goes; its size is ours to ask for.
    QWindow* w = OwnWindow(window);
    if (w == nullptr)
        return;
    const double ratio = Ratio(w);
    w->setGeometry(
        QRect(static_cast<int>(bounds.Left / ratio), static_cast<int>(bounds.Top / ratio),
              static_cast<int>(bounds.Width() / ratio), static_cast<int>(bounds.Height() / ratio)));
}

void TWaylandPlatform::ShapeWindow(TWindowId window, const std::vector<TRect>& parts) {
    QWindow* w = OwnWindow(window);
    if (w == nullptr)
        return;
    const double ratio = Ratio(w);
    QRegion region;
    for (const TRect& r : parts)
        region += QRect(static_cast<int>(r.Left / ratio), static_cast<int>(r.Top / ratio),
                        static_cast<int>(r.Width() / ratio), static_cast<int>(r.Height() / ratio));
    // An empty mask would mean no mask at all; a window shaped to nothing keeps one pixel.
    if (region.isEmpty())
        region = QRegion(0, 0, 1, 1);
    w->setMask(region);
}

bool TWaylandPlatform::StartWindowMove(TWindowId window, TPoint) {
    QWindow* w = OwnWindow(window);
    return w != nullptr && w->startSystemMove();
}

void TWaylandPlatform::ReleaseBuffers() {
    std::lock_guard lock(FLock);
    FBuffer.Release();
}

TShmBuffer& TWaylandPlatform::BufferFor(const TFrameState& frame) {
    if (FBuffer.Fits(frame.Format, frame.Width, frame.Height, frame.Stride))
        return FBuffer;
    FBuffer.Release();
    TShmBuffer b;
    b.Size = static_cast<std::size_t>(frame.Stride) * static_cast<std::size_t>(frame.Height);
    b.Fd = ::memfd_create("quorvel-screen", MFD_CLOEXEC);
    if (b.Fd < 0 || ::ftruncate(b.Fd, static_cast<off_t>(b.Size)) != 0) {
        b.Release();
        throw EPlatformError("Cannot make the shared memory for the screen's pixels.");
    }
    b.Data = ::mmap(nullptr, b.Size, PROT_READ | PROT_WRITE, MAP_SHARED, b.Fd, 0);
    if (b.Data == MAP_FAILED) {
        b.Release();
        throw EPlatformError("Cannot map the shared memory for the screen's pixels.");
    }
    wl_shm_pool* pool = wl_shm_create_pool(FShm, b.Fd, static_cast<std::int32_t>(b.Size));
    b.Buffer =
        wl_shm_pool_create_buffer(pool, 0, frame.Width, frame.Height, frame.Stride, frame.Format);
    wl_shm_pool_destroy(pool);
    b.Format = frame.Format;
    b.Width = frame.Width;
    b.Height = frame.Height;
    b.Stride = frame.Stride;
    FBuffer = b;
    return FBuffer;
}

QImage TWaylandPlatform::GrabOutput(const TOutput& output) {
    TFrameState frame;
    zwlr_screencopy_frame_v1* copy = zwlr_screencopy_manager_v1_capture_output(
        FScreencopy, FCursorInGrabs ? 1 : 0, output.Handle);
    zwlr_screencopy_frame_v1_add_listener(copy, &kFrameListener, &frame);
    struct TDestroy {
        zwlr_screencopy_frame_v1* f;
        ~TDestroy() { zwlr_screencopy_frame_v1_destroy(f); }
    } destroy{copy};

    // From version 3 on the compositor ends its list of buffer kinds; before, the shared
    // memory kind is the only one and comes alone.
    const bool listed = DispatchUntil(
        [&] {
            return frame.Failed || (FScreencopyVersion >= 3 ? frame.BufferDone : frame.HaveShm);
        },
        kFrameTimeoutMs);
    if (!listed || frame.Failed || !frame.HaveShm)
        throw EPlatformError("The compositor did not offer the screen's pixels.");
    const bool rgba =
        frame.Format == WL_SHM_FORMAT_XBGR8888 || frame.Format == WL_SHM_FORMAT_ABGR8888;
    if (frame.Format != WL_SHM_FORMAT_XRGB8888 && frame.Format != WL_SHM_FORMAT_ARGB8888 && !rgba)
        throw EPlatformError("The compositor offers the screen's pixels in a format this "
                             "program cannot read.");

    TShmBuffer& buffer = BufferFor(frame);
    zwlr_screencopy_frame_v1_copy(copy, buffer.Buffer);
    if (!DispatchUntil([&] { return frame.Ready || frame.Failed; }, kFrameTimeoutMs) ||
        frame.Failed)
        throw EPlatformError("The compositor did not copy the screen's pixels.");

    QImage image(frame.Width, frame.Height, QImage::Format_RGB32);
    const auto* src = static_cast<const uchar*>(buffer.Data);
    for (int y = 0; y < frame.Height; ++y) {
        const int row = frame.YInvert ? frame.Height - 1 - y : y;
        const auto* in = reinterpret_cast<const std::uint32_t*>(
            src + static_cast<std::size_t>(row) * static_cast<std::size_t>(frame.Stride));
        auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        if (rgba) {
            for (int x = 0; x < frame.Width; ++x) {
                const std::uint32_t p = in[x];
                out[x] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
            }
        } else {
            for (int x = 0; x < frame.Width; ++x)
                out[x] = 0xFF000000u | in[x];
        }
    }
    return image;
}

QImage TWaylandPlatform::GrabScreen(const TRect& rect) {
    if (rect.Empty())
        return QImage(std::max(0, rect.Width()), std::max(0, rect.Height()), QImage::Format_RGB32);
    if (FSource != TPixelSource::Screencopy) {
        QImage whole = DesktopShot(FSource, ScreenRect(), FCursorInGrabs);
        const TRect screen = ScreenRect();
        QImage out(rect.Width(), rect.Height(), QImage::Format_RGB32);
        out.fill(0xFF000000u);
        const TRect part = Intersection(rect, screen);
        if (!part.Empty())
            for (int y = part.Top; y < part.Bottom; ++y)
                std::memcpy(out.scanLine(y - rect.Top) + (part.Left - rect.Left) * 4,
                            whole.constScanLine(y - screen.Top) + (part.Left - screen.Left) * 4,
                            static_cast<std::size_t>(part.Width()) * 4);
        return out;
    }

    std::lock_guard lock(FLock);
    QImage out(rect.Width(), rect.Height(), QImage::Format_RGB32);
    out.fill(0xFF000000u);
    // Each output the rectangle meets is copied whole, once, and cut to the rectangle.
    for (const auto& o : FOutputs) {
        const TRect where = o->Rect();
        const TRect part = Intersection(rect, where);
        if (part.Empty())
            continue;
        const QImage shot = GrabOutput(*o);
        for (int y = part.Top; y < part.Bottom; ++y) {
            const int sy = y - where.Top;
            if (sy >= shot.height())
                break;
            const int width = std::min(part.Width(), shot.width() - (part.Left - where.Left));
            if (width <= 0)
                break;
            std::memcpy(out.scanLine(y - rect.Top) + (part.Left - rect.Left) * 4,
                        shot.constScanLine(sy) + (part.Left - where.Left) * 4,
                        static_cast<std::size_t>(width) * 4);
        }
    }
    return out;
}

} // namespace

std::unique_ptr<TPlatform> CreateWaylandPlatform() {
    return std::make_unique<TWaylandPlatform>();
}

} // namespace quorvel
