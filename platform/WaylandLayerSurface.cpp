// Layer-shell surfaces on a Wayland connection of their own. The platform's connection
// reads screen copies under its lock from whichever thread asks (the recorder's among
// them); these surfaces' pointer and keyboard events must be handled on the
// user-interface thread, so they get a connection that only that thread reads, through
// a socket notifier on Qt's event loop.

#include "platform/WaylandLayerSurface.h"
#include "platform/WaylandOutput.h"

#include <wayland-client.h>
#include <wayland-cursor.h>
// The protocol names an argument "namespace", a keyword of C++.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QRegion>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <linux/input-event-codes.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

namespace quorvel {

namespace {

class TWlLayerSurface;

using TWlOutput = TWaylandOutput;

// One shared-memory picture handed to the compositor. Kept for the next picture of the
// same size once the compositor lets go of it, and freed with its surface.
struct TWlBuffer {
    wl_buffer* Buffer = nullptr;
    void* Data = MAP_FAILED;
    std::size_t Size = 0;
    TWlLayerSurface* Owner = nullptr;
    int Width = 0;
    int Height = 0;
    bool Busy = true; // the compositor may still read it
    // What has changed on the surface since this buffer was last drawn, in buffer pixels.
    QRegion Stale;
    ~TWlBuffer() {
        if (Buffer != nullptr)
            wl_buffer_destroy(Buffer);
        if (Data != MAP_FAILED)
            ::munmap(Data, Size);
    }
};

// The connection all layer surfaces share, made on the user-interface thread on first use
// and kept for the life of the process.
class TLayerConnection {
public:
    static TLayerConnection* Get();

    wl_display* Display = nullptr;
    wl_compositor* Compositor = nullptr;
    wl_shm* Shm = nullptr;
    zwlr_layer_shell_v1* Shell = nullptr;
    std::uint32_t ShellVersion = 0;
    wl_seat* Seat = nullptr;
    wl_pointer* Pointer = nullptr;
    wl_keyboard* Keyboard = nullptr;
    std::vector<std::unique_ptr<TWlOutput>> Outputs;
    TWlLayerSurface* PointerFocus = nullptr;
    TWlLayerSurface* KeyboardFocus = nullptr;
    TPoint PointerAt; // physical screen pixels
    xkb_context* Xkb = nullptr;
    xkb_keymap* Keymap = nullptr;
    xkb_state* KeyState = nullptr;
    std::vector<std::uint32_t> KeysDown; // pressed while a surface of ours had the keyboard
    // The held key that repeats, and the keyboard's repeat (keys a second, delay in ms).
    std::uint32_t RepeatCode = 0;
    int RepeatRate = 25;
    int RepeatDelay = 600;

    // The key (an evdev code) with the modifiers as they stand, to the surface that has the
    // keyboard.
    void Act(std::uint32_t code);
    void StartRepeat(std::uint32_t code);
    void StopRepeat() {
        RepeatCode = 0;
        if (FRepeat != nullptr)
            FRepeat->stop();
    }
    int ButtonsHeld = 0;

    // Shows the cursor theme's crosshair for the pointer that entered a surface of ours
    // with this serial, at the output's scale.
    void ShowCrosshair(std::uint32_t serial, int scale);
    // Sends what was asked and handles what the compositor has said so far.
    void Flush();
    // Only sends what was asked: called from inside event handlers (a drag's motion moves
    // the surface), which must not handle the events after theirs before they return.
    void Send() { wl_display_flush(Display); }
    void Forget(TWlLayerSurface* surface) {
        if (PointerFocus == surface)
            PointerFocus = nullptr;
        if (KeyboardFocus == surface)
            KeyboardFocus = nullptr;
    }
    // The output that holds the point, else the first one.
    const TWlOutput* OutputAt(TPoint p) const;

private:
    bool Connect();
    void Read();
    QSocketNotifier* FNotifier = nullptr;
    QTimer* FRepeat = nullptr;
    wl_cursor_theme* FCursorTheme = nullptr;
    int FCursorScale = 0;
    wl_surface* FCursorSurface = nullptr;
};

class TWlLayerSurface final : public TLayerSurface {
public:
    TWlLayerSurface(TLayerConnection& c, TSurfaceLayer layer, TSurfaceKeys keys, THandlers handlers)
        : FConnection(c), FLayer(layer), FKeys(keys), FHandlers(std::move(handlers)) {}
    ~TWlLayerSurface() override {
        Hide();
        FConnection.Send();
    }

    void Show(const TRect& bounds, const QImage& picture, const std::vector<TRect>& input) override;
    void Update(const QImage& picture, const std::vector<TRect>& changed) override;
    void Hide() override;
    void SetKeys(TSurfaceKeys keys) override;
    bool Shown() const override { return FSurface != nullptr; }

    // A pointer position on the surface (logical units) as a physical screen pixel, where
    // the compositor last placed the surface.
    TPoint ScreenPoint(double sx, double sy) const {
        const TPoint at = FGrabbed ? FGrabAt : FPlacedAt;
        return {at.X + static_cast<int>(std::floor(sx * FScale)),
                at.Y + static_cast<int>(std::floor(sy * FScale))};
    }
    // While a button is held the compositor keeps the pointer on the surface and counts its
    // positions from where the surface stood at the press (wlroots compositors do), however
    // the surface moves meanwhile: a drag of the surface would run away otherwise.
    void Grab(bool held) {
        if (held && !FGrabbed)
            FGrabAt = FPlacedAt;
        FGrabbed = held;
    }
    void Pointer(const TSurfacePointer& e) {
        if (FHandlers.Pointer)
            FHandlers.Pointer(e);
    }
    bool Crosshair() const { return FHandlers.Crosshair; }
    int Scale() const { return FScale; }
    void Key(const TSurfaceKey& k) {
        if (FHandlers.Key)
            FHandlers.Key(k);
    }
    void Configured(zwlr_layer_surface_v1* layer, std::uint32_t serial) {
        zwlr_layer_surface_v1_ack_configure(layer, serial);
        FConfigured = true;
    }
    void Closed() { Hide(); }
    void Release(TWlBuffer* b) {
        b->Busy = false;
        // A surface that changes in parts (Update) keeps two spare buffers, enough for a
        // compositor that holds one while the next is drawn; one that is only ever shown
        // whole keeps none, which would only hold memory.
        int spare = 0;
        std::erase_if(FBuffers, [this, &spare](const std::unique_ptr<TWlBuffer>& o) {
            return !o->Busy && (!FUpdated || ++spare > 2);
        });
    }
    // A commit that moved the surface, until the compositor has answered the request sent
    // right after it.
    struct TPlacement {
        TWlLayerSurface* Owner = nullptr;
        TPoint At;
        wl_callback* Callback = nullptr;
        ~TPlacement() { wl_callback_destroy(Callback); }
    };
    void Placed(TPlacement* p) {
        FPlacedAt = p->At;
        std::erase_if(FPlacements,
                      [p](const std::unique_ptr<TPlacement>& o) { return o.get() == p; });
    }

private:
    void Map(const TWlOutput& output);
    std::uint32_t Keyboard() const;
    std::unique_ptr<TWlBuffer> Paint(const QImage& picture, int width, int height, int dx, int dy);

    TLayerConnection& FConnection;
    TSurfaceLayer FLayer;
    TSurfaceKeys FKeys;
    bool FUpdated = false; // shown in parts: released buffers are kept for the next part
    THandlers FHandlers;
    wl_surface* FSurface = nullptr;
    zwlr_layer_surface_v1* FLayerSurface = nullptr;
    std::uint32_t FOutputName = 0;
    bool FConfigured = false;
    int FScale = 1;
    TPoint FOrigin;   // the output's corner, physical pixels
    TPoint FPlacedAt; // the surface's corner as the compositor has it, physical pixels
    bool FGrabbed = false;
    TPoint FGrabAt; // the corner at the press, while a button is held
    // What the last commit showed, to tell a move from a new picture.
    qint64 FPictureKey = 0;
    TPoint FOffset;
    QSize FLogicalSize;
    std::vector<TRect> FInput;
    std::vector<std::unique_ptr<TWlBuffer>> FBuffers;
    std::vector<std::unique_ptr<TPlacement>> FPlacements;
};

// Events ------------------------------------------------------------------------------

const wl_buffer_listener kBufferListener = {
    .release =
        [](void* data, wl_buffer*) {
            auto* b = static_cast<TWlBuffer*>(data);
            b->Owner->Release(b);
        },
};

const zwlr_layer_surface_v1_listener kLayerListener = {
    .configure =
        [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t,
           std::uint32_t) { static_cast<TWlLayerSurface*>(data)->Configured(layer, serial); },
    .closed = [](void* data,
                 zwlr_layer_surface_v1*) { static_cast<TWlLayerSurface*>(data)->Closed(); },
};

TWlLayerSurface* SurfaceOf(wl_surface* surface) {
    return surface != nullptr ? static_cast<TWlLayerSurface*>(wl_surface_get_user_data(surface))
                              : nullptr;
}

const wl_pointer_listener kPointerListener = {
    .enter =
        [](void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x,
           wl_fixed_t y) {
            auto* c = static_cast<TLayerConnection*>(data);
            c->PointerFocus = SurfaceOf(surface);
            c->ButtonsHeld = 0;
            if (c->PointerFocus == nullptr)
                return;
            if (c->PointerFocus->Crosshair())
                c->ShowCrosshair(serial, c->PointerFocus->Scale());
            c->PointerFocus->Grab(false);
            c->PointerAt =
                c->PointerFocus->ScreenPoint(wl_fixed_to_double(x), wl_fixed_to_double(y));
            c->PointerFocus->Pointer({TSurfacePointer::Enter, c->PointerAt, 0});
        },
    .leave =
        [](void* data, wl_pointer*, std::uint32_t, wl_surface*) {
            auto* c = static_cast<TLayerConnection*>(data);
            if (c->PointerFocus != nullptr)
                c->PointerFocus->Pointer({TSurfacePointer::Leave, c->PointerAt, 0});
            c->PointerFocus = nullptr;
        },
    .motion =
        [](void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
            auto* c = static_cast<TLayerConnection*>(data);
            if (c->PointerFocus == nullptr)
                return;
            c->PointerAt =
                c->PointerFocus->ScreenPoint(wl_fixed_to_double(x), wl_fixed_to_double(y));
            c->PointerFocus->Pointer({TSurfacePointer::Motion, c->PointerAt, 0});
        },
    .button =
        [](void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
           std::uint32_t state) {
            auto* c = static_cast<TLayerConnection*>(data);
            if (c->PointerFocus == nullptr)
                return;
            if (state == WL_POINTER_BUTTON_STATE_PRESSED)
                ++c->ButtonsHeld;
            else
                c->ButtonsHeld = std::max(0, c->ButtonsHeld - 1);
            c->PointerFocus->Grab(c->ButtonsHeld > 0);
            const int which = button == BTN_LEFT     ? 1
                              : button == BTN_RIGHT  ? 2
                              : button == BTN_MIDDLE ? 3
                                                     : 0;
            c->PointerFocus->Pointer({state == WL_POINTER_BUTTON_STATE_PRESSED
                                          ? TSurfacePointer::Press
                                          : TSurfacePointer::Release,
                                      c->PointerAt, which});
        },
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
};

// Keys by the symbols of the compositor's keymap (a virtual keyboard brings a keymap of its
// own, with codes of its choosing).
TSurfaceKey::TKind KeyOf(xkb_keysym_t sym) {
    switch (sym) {
    case XKB_KEY_Up:
    case XKB_KEY_KP_Up:
        return TSurfaceKey::Up;
    case XKB_KEY_Down:
    case XKB_KEY_KP_Down:
        return TSurfaceKey::Down;
    case XKB_KEY_Left:
    case XKB_KEY_KP_Left:
        return TSurfaceKey::Left;
    case XKB_KEY_Right:
    case XKB_KEY_KP_Right:
        return TSurfaceKey::Right;
    case XKB_KEY_Return:
    case XKB_KEY_KP_Enter:
        return TSurfaceKey::Enter;
    case XKB_KEY_Escape:
        return TSurfaceKey::Escape;
    case XKB_KEY_F4:
        return TSurfaceKey::F4;
    default:
        return TSurfaceKey::Other;
    }
}

void TakeKeymap(TLayerConnection* c, std::uint32_t format, int fd, std::uint32_t size) {
    if (c->Xkb == nullptr)
        c->Xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    void* text = format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && c->Xkb != nullptr
                     ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)
                     : MAP_FAILED;
    ::close(fd);
    if (text == MAP_FAILED)
        return;
    xkb_keymap* keymap = xkb_keymap_new_from_buffer(
        c->Xkb, static_cast<const char*>(text), strnlen(static_cast<const char*>(text), size),
        XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ::munmap(text, size);
    if (keymap == nullptr)
        return;
    if (c->KeyState != nullptr)
        xkb_state_unref(c->KeyState);
    if (c->Keymap != nullptr)
        xkb_keymap_unref(c->Keymap);
    c->Keymap = keymap;
    c->KeyState = xkb_state_new(keymap);
}

const wl_keyboard_listener kKeyboardListener = {
    .keymap =
        [](void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
            TakeKeymap(static_cast<TLayerConnection*>(data), format, fd, size);
        },
    .enter =
        [](void* data, wl_keyboard*, std::uint32_t, wl_surface* surface, wl_array*) {
            auto* c = static_cast<TLayerConnection*>(data);
            c->KeyboardFocus = SurfaceOf(surface);
            c->KeysDown.clear();
        },
    .leave =
        [](void* data, wl_keyboard*, std::uint32_t, wl_surface*) {
            auto* c = static_cast<TLayerConnection*>(data);
            c->KeyboardFocus = nullptr;
            c->StopRepeat();
        },
    .key =
        [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
           std::uint32_t state) {
            auto* c = static_cast<TLayerConnection*>(data);
            // A key acts when pressed, and again at the keyboard's repeat rate while held. A
            // keyboard that comes with a keymap of its own (a virtual one) makes the
            // compositor enter the surface anew with its first key already down: that key
            // acts when released.
            const bool press = state == WL_KEYBOARD_KEY_STATE_PRESSED;
            if (press) {
                c->KeysDown.push_back(key);
                c->StartRepeat(key);
            } else {
                if (key == c->RepeatCode)
                    c->StopRepeat();
                if (std::erase(c->KeysDown, key) > 0)
                    return;
            }
            c->Act(key);
        },
    .modifiers =
        [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
           std::uint32_t locked, std::uint32_t group) {
            auto* c = static_cast<TLayerConnection*>(data);
            if (c->KeyState != nullptr)
                xkb_state_update_mask(c->KeyState, depressed, latched, locked, 0, 0, group);
        },
    .repeat_info =
        [](void* data, wl_keyboard*, std::int32_t rate, std::int32_t delay) {
            auto* c = static_cast<TLayerConnection*>(data);
            c->RepeatRate = std::max(0, rate);
            c->RepeatDelay = std::max(0, delay);
        },
};

const wl_seat_listener kSeatListener = {
    .capabilities =
        [](void* data, wl_seat* seat, std::uint32_t caps) {
            auto* c = static_cast<TLayerConnection*>(data);
            if ((caps & WL_SEAT_CAPABILITY_POINTER) != 0 && c->Pointer == nullptr) {
                c->Pointer = wl_seat_get_pointer(seat);
                wl_pointer_add_listener(c->Pointer, &kPointerListener, c);
            } else if ((caps & WL_SEAT_CAPABILITY_POINTER) == 0 && c->Pointer != nullptr) {
                wl_pointer_release(c->Pointer);
                c->Pointer = nullptr;
                c->PointerFocus = nullptr;
            }
            if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0 && c->Keyboard == nullptr) {
                c->Keyboard = wl_seat_get_keyboard(seat);
                wl_keyboard_add_listener(c->Keyboard, &kKeyboardListener, c);
            } else if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) == 0 && c->Keyboard != nullptr) {
                wl_keyboard_release(c->Keyboard);
                c->Keyboard = nullptr;
                c->KeyboardFocus = nullptr;
            }
        },
    .name = [](void*, wl_seat*, const char*) {},
};

void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
    auto* c = static_cast<TLayerConnection*>(data);
    const std::string iface(interface);
    if (iface == wl_compositor_interface.name) {
        c->Compositor = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, std::min(version, 4u)));
    } else if (iface == wl_shm_interface.name) {
        c->Shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (iface == zwlr_layer_shell_v1_interface.name) {
        c->ShellVersion = std::min(version, 4u);
        c->Shell = static_cast<zwlr_layer_shell_v1*>(
            wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, c->ShellVersion));
    } else if (iface == wl_seat_interface.name && c->Seat == nullptr) {
        c->Seat = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
        wl_seat_add_listener(c->Seat, &kSeatListener, c);
    } else if (iface == wl_output_interface.name) {
        auto output = std::make_unique<TWlOutput>();
        output->Name = name;
        output->Handle = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
        wl_output_add_listener(output->Handle, &kWaylandOutputListener, output.get());
        c->Outputs.push_back(std::move(output));
    }
}

void GlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* c = static_cast<TLayerConnection*>(data);
    std::erase_if(c->Outputs, [name](const std::unique_ptr<TWlOutput>& o) {
        if (o->Name != name)
            return false;
        wl_output_destroy(o->Handle);
        return true;
    });
}

const wl_registry_listener kRegistryListener = {.global = &Global, .global_remove = &GlobalRemove};

// The connection -------------------------------------------------------------------------

TLayerConnection* TLayerConnection::Get() {
    // Made once; a compositor without a layer shell is asked only once.
    static TLayerConnection* connection = [] {
        auto* c = new TLayerConnection;
        if (!c->Connect()) {
            delete c;
            return static_cast<TLayerConnection*>(nullptr);
        }
        return c;
    }();
    return connection;
}

bool TLayerConnection::Connect() {
    if (QCoreApplication::instance() == nullptr)
        return false;
    Display = wl_display_connect(nullptr);
    if (Display == nullptr)
        return false;
    wl_registry* registry = wl_display_get_registry(Display);
    wl_registry_add_listener(registry, &kRegistryListener, this);
    // The globals, then the outputs' and the seat's own events.
    wl_display_roundtrip(Display);
    wl_display_roundtrip(Display);
    if (Compositor == nullptr || Shm == nullptr || Shell == nullptr) {
        wl_display_disconnect(Display);
        Display = nullptr;
        return false;
    }
    FNotifier = new QSocketNotifier(wl_display_get_fd(Display), QSocketNotifier::Read,
                                    QCoreApplication::instance());
    QObject::connect(FNotifier, &QSocketNotifier::activated, FNotifier, [this] { Read(); });
    FRepeat = new QTimer(FNotifier);
    FRepeat->setSingleShot(true);
    QObject::connect(FRepeat, &QTimer::timeout, FNotifier, [this] {
        if (RepeatCode == 0)
            return;
        const std::uint32_t code = RepeatCode;
        FRepeat->start(1000 / std::max(1, RepeatRate));
        Act(code);
    });
    // Events that arrived with a reply read elsewhere wait in the queue: handle them before
    // the event loop sleeps, and send whatever is still unsent.
    QObject::connect(QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread()),
                     &QAbstractEventDispatcher::aboutToBlock, FNotifier, [this] { Flush(); });
    return true;
}

void TLayerConnection::Act(std::uint32_t code) {
    if (KeyboardFocus == nullptr || KeyState == nullptr)
        return;
    // Wayland sends evdev codes; xkb counts from 8.
    TSurfaceKey k;
    k.Key = KeyOf(xkb_state_key_get_one_sym(KeyState, code + 8));
    const auto active = [this](const char* name) {
        return xkb_state_mod_name_is_active(KeyState, name, XKB_STATE_MODS_EFFECTIVE) > 0;
    };
    k.Shift = active(XKB_MOD_NAME_SHIFT);
    k.Ctrl = active(XKB_MOD_NAME_CTRL);
    k.Alt = active(XKB_MOD_NAME_ALT);
    KeyboardFocus->Key(k);
}

void TLayerConnection::ShowCrosshair(std::uint32_t serial, int scale) {
    if (Pointer == nullptr)
        return;
    // The theme and size the desktop sets for every program, at the output's scale.
    if (FCursorTheme == nullptr || FCursorScale != scale) {
        if (FCursorTheme != nullptr)
            wl_cursor_theme_destroy(FCursorTheme);
        const char* size = std::getenv("XCURSOR_SIZE");
        const int base = size != nullptr && std::atoi(size) > 0 ? std::atoi(size) : 24;
        FCursorTheme = wl_cursor_theme_load(std::getenv("XCURSOR_THEME"), base * scale, Shm);
        FCursorScale = scale;
    }
    if (FCursorTheme == nullptr)
        return;
    wl_cursor* cursor = wl_cursor_theme_get_cursor(FCursorTheme, "crosshair");
    if (cursor == nullptr)
        cursor = wl_cursor_theme_get_cursor(FCursorTheme, "cross");
    if (cursor == nullptr || cursor->image_count == 0)
        return; // a theme without one: the pointer keeps what the desktop shows
    wl_cursor_image* image = cursor->images[0];
    wl_buffer* buffer = wl_cursor_image_get_buffer(image);
    if (buffer == nullptr)
        return;
    if (FCursorSurface == nullptr)
        FCursorSurface = wl_compositor_create_surface(Compositor);
    // A theme without the size: its nearest one, shown one pixel on one where it does not
    // divide by the scale.
    if (image->width % static_cast<std::uint32_t>(scale) != 0 ||
        image->height % static_cast<std::uint32_t>(scale) != 0)
        scale = 1;
    wl_surface_set_buffer_scale(FCursorSurface, scale);
    wl_surface_attach(FCursorSurface, buffer, 0, 0);
    wl_surface_damage(FCursorSurface, 0, 0, static_cast<std::int32_t>(image->width),
                      static_cast<std::int32_t>(image->height));
    wl_surface_commit(FCursorSurface);
    wl_pointer_set_cursor(Pointer, serial, FCursorSurface,
                          static_cast<std::int32_t>(image->hotspot_x) / scale,
                          static_cast<std::int32_t>(image->hotspot_y) / scale);
}

void TLayerConnection::StartRepeat(std::uint32_t code) {
    StopRepeat();
    if (FRepeat == nullptr || RepeatRate <= 0 || Keymap == nullptr ||
        xkb_keymap_key_repeats(Keymap, code + 8) == 0)
        return;
    RepeatCode = code;
    FRepeat->start(RepeatDelay);
}

void TLayerConnection::Read() {
    if (wl_display_prepare_read(Display) == 0) {
        if (wl_display_read_events(Display) < 0) {
            // The compositor has gone: stop listening rather than spin on a dead socket.
            FNotifier->setEnabled(false);
            return;
        }
    }
    wl_display_dispatch_pending(Display);
    wl_display_flush(Display);
}

void TLayerConnection::Flush() {
    wl_display_dispatch_pending(Display);
    wl_display_flush(Display);
}

const TWlOutput* TLayerConnection::OutputAt(TPoint p) const {
    for (const auto& o : Outputs)
        if (o->Width > 0 && o->Rect().Contains(p))
            return o.get();
    return Outputs.empty() ? nullptr : Outputs.front().get();
}

// The surface ----------------------------------------------------------------------------

void TWlLayerSurface::Map(const TWlOutput& output) {
    FSurface = wl_compositor_create_surface(FConnection.Compositor);
    wl_surface_set_user_data(FSurface, this);
    FLayerSurface = zwlr_layer_shell_v1_get_layer_surface(
        FConnection.Shell, FSurface, output.Handle,
        FLayer == TSurfaceLayer::Overlay ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY
                                         : ZWLR_LAYER_SHELL_V1_LAYER_TOP,
        "quorvel");
    zwlr_layer_surface_v1_add_listener(FLayerSurface, &kLayerListener, this);
    zwlr_layer_surface_v1_set_anchor(FLayerSurface, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                        ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    // Margins count from the output's edge, whatever panels reserve.
    zwlr_layer_surface_v1_set_exclusive_zone(FLayerSurface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(FLayerSurface, Keyboard());
    FOutputName = output.Name;
    FScale = output.Scale;
    FOrigin = {output.Rect().Left, output.Rect().Top};
    FConfigured = false;
    FPictureKey = 0;
    FLogicalSize = {};
}

std::unique_ptr<TWlBuffer> TWlLayerSurface::Paint(const QImage& picture, int width, int height,
                                                  int dx, int dy) {
    auto b = std::make_unique<TWlBuffer>();
    b->Owner = this;
    b->Width = width;
    b->Height = height;
    const int stride = width * 4;
    b->Size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    const int fd = ::memfd_create("quorvel-surface", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(b->Size)) != 0) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    b->Data = ::mmap(nullptr, b->Size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (b->Data == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    // ARGB8888 in the compositor's terms is Qt's premultiplied ARGB32 on a little-endian
    // machine; the pixels outside the picture stay transparent.
    std::memset(b->Data, 0, b->Size);
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    auto* out = static_cast<uchar*>(b->Data);
    for (int y = 0; y < argb.height() && y + dy < height; ++y)
        std::memcpy(out + static_cast<std::size_t>(y + dy) * stride + dx * 4, argb.constScanLine(y),
                    static_cast<std::size_t>(std::min(argb.width(), width - dx)) * 4);
    wl_shm_pool* pool = wl_shm_create_pool(FConnection.Shm, fd, static_cast<std::int32_t>(b->Size));
    b->Buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    wl_buffer_add_listener(b->Buffer, &kBufferListener, b.get());
    return b;
}

const wl_callback_listener kPlacedListener = {
    .done =
        [](void* data, wl_callback*, std::uint32_t) {
            auto* p = static_cast<TWlLayerSurface::TPlacement*>(data);
            p->Owner->Placed(p);
        },
};

void TWlLayerSurface::Show(const TRect& bounds, const QImage& picture,
                           const std::vector<TRect>& input) {
    const TWlOutput* output = FConnection.OutputAt({bounds.Left, bounds.Top});
    if (output == nullptr || bounds.Empty())
        return;
    // A surface belongs to one output: another output means a surface of its own.
    if (FSurface != nullptr && output->Name != FOutputName)
        Hide();
    // Asked again while waiting for the compositor's first configure (an event handled
    // during that wait): the first Show goes on with the newest bounds' picture later.
    if (FSurface != nullptr && !FConfigured)
        return;
    const bool fresh = FSurface == nullptr;
    if (fresh)
        Map(*output);

    // The surface's corner sits on whole logical units; at a scale above 1 the picture is
    // shifted inside the buffer by the remainder, so that every picture pixel lands on its
    // own screen pixel at any physical position.
    const int s = FScale;
    const TSurfacePlacement place = PlaceSurface(bounds, FOrigin, s);
    const int marginX = place.Margin.X;
    const int marginY = place.Margin.Y;
    const TPoint offset = place.Offset;
    const QSize logical(place.Width, place.Height);

    zwlr_layer_surface_v1_set_margin(FLayerSurface, marginY, 0, 0, marginX);
    if (logical != FLogicalSize)
        zwlr_layer_surface_v1_set_size(FLayerSurface, static_cast<std::uint32_t>(logical.width()),
                                       static_cast<std::uint32_t>(logical.height()));
    if (fresh) {
        // The first commit carries no picture; the compositor answers with its configure.
        wl_surface_commit(FSurface);
        for (int i = 0; i < 50 && !FConfigured && FSurface != nullptr; ++i)
            if (wl_display_roundtrip(FConnection.Display) < 0)
                break;
        if (FSurface == nullptr || !FConfigured) {
            Hide();
            return;
        }
    }
    const bool samePicture = !fresh && picture.cacheKey() == FPictureKey && offset == FOffset &&
                             logical == FLogicalSize && input == FInput;
    if (!samePicture) {
        std::unique_ptr<TWlBuffer> buffer =
            Paint(picture, logical.width() * s, logical.height() * s, offset.X, offset.Y);
        if (buffer == nullptr)
            return;
        wl_surface_set_buffer_scale(FSurface, s);
        wl_surface_attach(FSurface, buffer->Buffer, 0, 0);
        wl_surface_damage(FSurface, 0, 0, logical.width(), logical.height());
        // The buffers kept from before show another picture altogether.
        for (const auto& b : FBuffers)
            b->Stale = QRegion(0, 0, b->Width, b->Height);
        FBuffers.push_back(std::move(buffer));
        // The parts that take the pointer, in logical units, widened to whole units.
        wl_region* region = wl_compositor_create_region(FConnection.Compositor);
        for (const TRect& r : input) {
            const int l = FloorDivide(offset.X + r.Left, s);
            const int t = FloorDivide(offset.Y + r.Top, s);
            const int rr = FloorDivide(offset.X + r.Right + s - 1, s);
            const int bb = FloorDivide(offset.Y + r.Bottom + s - 1, s);
            if (rr > l && bb > t)
                wl_region_add(region, l, t, rr - l, bb - t);
        }
        wl_surface_set_input_region(FSurface, region);
        wl_region_destroy(region);
        FPictureKey = picture.cacheKey();
        FInput = input;
    }
    FOffset = offset;
    FLogicalSize = logical;
    wl_surface_commit(FSurface);
    // Pointer positions that arrive after this answer count from the new place; those
    // before it from the old one.
    const TPoint at{FOrigin.X + marginX * s, FOrigin.Y + marginY * s};
    if (fresh)
        FPlacedAt = at;
    auto placement = std::make_unique<TPlacement>();
    placement->Owner = this;
    placement->At = at;
    placement->Callback = wl_display_sync(FConnection.Display);
    wl_callback_add_listener(placement->Callback, &kPlacedListener, placement.get());
    FPlacements.push_back(std::move(placement));
    FConnection.Send();
}

void TWlLayerSurface::Update(const QImage& picture, const std::vector<TRect>& changed) {
    if (FSurface == nullptr || !FConfigured || changed.empty())
        return;
    FUpdated = true;
    const int width = FLogicalSize.width() * FScale;
    const int height = FLogicalSize.height() * FScale;
    QRegion now;
    for (const TRect& r : changed)
        now += QRect(r.Left + FOffset.X, r.Top + FOffset.Y, r.Width(), r.Height());
    now &= QRect(0, 0, width, height);
    // A spare buffer of the size, brought up to date where the surface changed since it was
    // drawn; else a new one drawn whole.
    TWlBuffer* target = nullptr;
    for (const auto& b : FBuffers)
        if (!b->Busy && b->Width == width && b->Height == height)
            target = b.get();
    const QImage argb = picture.format() == QImage::Format_RGB32 ||
                                picture.format() == QImage::Format_ARGB32_Premultiplied
                            ? picture
                            : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (target == nullptr) {
        std::unique_ptr<TWlBuffer> fresh = Paint(argb, width, height, FOffset.X, FOffset.Y);
        if (fresh == nullptr)
            return;
        target = fresh.get();
        FBuffers.push_back(std::move(fresh));
    } else {
        auto* out = static_cast<uchar*>(target->Data);
        const QRect inPicture(FOffset.X, FOffset.Y, argb.width(), argb.height());
        for (const QRect& r : (target->Stale + now) & inPicture)
            for (int y = r.top(); y <= r.bottom(); ++y)
                std::memcpy(out + static_cast<std::size_t>(y) * width * 4 + r.left() * 4,
                            argb.constScanLine(y - FOffset.Y) + (r.left() - FOffset.X) * 4,
                            static_cast<std::size_t>(r.width()) * 4);
    }
    for (const auto& b : FBuffers)
        b->Stale = b.get() == target ? QRegion() : b->Stale + now;
    target->Busy = true;
    wl_surface_attach(FSurface, target->Buffer, 0, 0);
    if (wl_surface_get_version(FSurface) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION)
        for (const QRect& r : now)
            wl_surface_damage_buffer(FSurface, r.x(), r.y(), r.width(), r.height());
    else
        wl_surface_damage(FSurface, 0, 0, FLogicalSize.width(), FLogicalSize.height());
    wl_surface_commit(FSurface);
    FConnection.Send();
}

// The keyboard comes with a click (from version 4 on); before, a surface that wants keys
// takes them while it is shown.
std::uint32_t TWlLayerSurface::Keyboard() const {
    if (FKeys == TSurfaceKeys::Exclusive ||
        (FKeys == TSurfaceKeys::OnClick && FConnection.ShellVersion < 4))
        return ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE;
    if (FKeys == TSurfaceKeys::OnClick)
        return ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_ON_DEMAND;
    return ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE;
}

void TWlLayerSurface::SetKeys(TSurfaceKeys keys) {
    if (keys == FKeys)
        return;
    FKeys = keys;
    if (FLayerSurface == nullptr)
        return;
    zwlr_layer_surface_v1_set_keyboard_interactivity(FLayerSurface, Keyboard());
    wl_surface_commit(FSurface);
}

void TWlLayerSurface::Hide() {
    FConnection.Forget(this);
    if (FLayerSurface != nullptr)
        zwlr_layer_surface_v1_destroy(FLayerSurface);
    if (FSurface != nullptr)
        wl_surface_destroy(FSurface);
    FLayerSurface = nullptr;
    FSurface = nullptr;
    FBuffers.clear();
    FPlacements.clear();
}

} // namespace

std::unique_ptr<TLayerSurface> CreateWaylandLayerSurface(TSurfaceLayer layer, TSurfaceKeys keys,
                                                         TLayerSurface::THandlers handlers) {
    TLayerConnection* c = TLayerConnection::Get();
    if (c == nullptr)
        return nullptr;
    return std::make_unique<TWlLayerSurface>(*c, layer, keys, std::move(handlers));
}

std::optional<TPoint> FindWaylandPointer() {
    TLayerConnection* c = TLayerConnection::Get();
    if (c == nullptr || c->Pointer == nullptr)
        return std::nullopt;
    c->Flush();
    // Over a surface of ours already (a frame, a floating picture): it was told.
    if (c->PointerFocus != nullptr)
        return c->PointerAt;
    std::optional<TPoint> found;
    const TLayerSurface::THandlers handlers{[&found](const TSurfacePointer& e) {
                                                if (e.Kind != TSurfacePointer::Leave)
                                                    found = e.Position;
                                            },
                                            {}};
    std::vector<std::unique_ptr<TWlLayerSurface>> covers;
    for (const auto& o : c->Outputs) {
        const TRect r = o->Rect();
        if (r.Empty())
            continue;
        QImage clear(r.Width(), r.Height(), QImage::Format_ARGB32_Premultiplied);
        clear.fill(Qt::transparent);
        auto cover = std::make_unique<TWlLayerSurface>(*c, TSurfaceLayer::Overlay,
                                                       TSurfaceKeys::None, handlers);
        cover->Show(r, clear, {{0, 0, r.Width(), r.Height()}});
        covers.push_back(std::move(cover));
    }
    // The compositor enters the surface under the pointer as it maps it.
    for (int i = 0; i < 4 && !found && !covers.empty(); ++i)
        if (wl_display_roundtrip(c->Display) < 0)
            break;
    covers.clear();
    c->Send();
    return found;
}

} // namespace quorvel
