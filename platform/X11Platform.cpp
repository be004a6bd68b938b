// The X11 implementation of the platform layer, over xcb with the SHM, XFixes and RandR
// extensions. It keeps its own connection to the X server, apart from Qt's.

#include "platform/X11Platform.h"
#include "platform/Platform.h"
#include "platform/X11HotKey.h"
#include "platform/X11PinnedWindow.h"

#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <vector>

namespace quorvel {

namespace {

// A reply that frees itself.
template <typename T> struct TReply {
    T* p = nullptr;
    explicit TReply(T* reply) : p(reply) {}
    ~TReply() { std::free(p); }
    TReply(const TReply&) = delete;
    TReply& operator=(const TReply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

void CopyPixels(const std::uint32_t* src, const TRect& rect, QImage& image, int dx, int dy);

// Where one colour channel sits in a 32-bit screen pixel.
struct TChannel {
    int shift = 0;
    int bits = 0;
    bool FromMask(std::uint32_t mask) {
        if (mask == 0)
            return false;
        shift = 0;
        while ((mask & 1u) == 0) {
            mask >>= 1;
            ++shift;
        }
        bits = 0;
        while ((mask & 1u) != 0) {
            mask >>= 1;
            ++bits;
        }
        return mask == 0 && bits >= 1 && bits <= 16; // one run of bits
    }
    // The channel's value scaled to 8 bits.
    std::uint32_t Value8(std::uint32_t pixel) const {
        const std::uint32_t v = (pixel >> shift) & ((1u << bits) - 1u);
        return bits >= 8 ? v >> (bits - 8) : (v * 255u) / ((1u << bits) - 1u);
    }
};

// The screen's pixel layout: true colour in 32 bits a pixel. Most screens hold 8 bits a
// channel as 0x00RRGGBB, which is copied as it is; deeper ones (30-bit colour) are read
// channel by channel.
struct TPixelLayout {
    bool supported = false;
    bool plain = false;
    std::uint8_t depth = 0;
    TChannel red, green, blue;
};

void ConvertPixels(const std::uint32_t* src, const TRect& rect, const TPixelLayout& layout,
                   QImage& image, int dx, int dy);

class TX11Platform final : public TPlatform {
public:
    TX11Platform();
    ~TX11Platform() override;

    TCapabilities Capabilities() override {
        TCapabilities can{true, true, true, true, true};
        can.RecordScreen = true;
        can.FindPointer = true;
        return can;
    }
    std::vector<TRect> Monitors() override;
    TRect ScreenRect() override;
    TPoint PointerPosition() override;
    TWindowId ActiveWindow() override;
    TWindowId WindowAt(TPoint point) override;
    std::optional<TRect> WindowBounds(TWindowId window) override;
    QImage GrabScreen(const TRect& rect) override;
    std::optional<TCursorImage> Cursor() override;
    void Prepare() override;
    void ReleaseBuffers() override;
    void PlaceWindow(TWindowId window, const TRect& bounds) override;
    void ShapeWindow(TWindowId window, const std::vector<TRect>& parts) override;
    void KeepAboveUnlisted(TWindowId window) override { X11KeepAboveUnlisted(window); }
    bool StartWindowMove(TWindowId window, TPoint from) override {
        return X11StartWindowMove(window, from);
    }
    bool DrawPicture(TWindowId window, const QImage& picture, const TRect& area) override {
        return X11DrawPicture(window, picture, area);
    }
    std::unique_ptr<THotKey> CreateHotKey(std::function<void()> onPress) override {
        return CreateX11HotKey(std::move(onPress));
    }

private:
    xcb_atom_t Atom(const char* name);
    std::optional<TRect> RootRect(xcb_window_t window);
    bool Viewable(xcb_window_t window);
    bool HasProperty(xcb_window_t window, xcb_atom_t atom);
    xcb_window_t ParentOf(xcb_window_t window);
    xcb_window_t TopLevelOf(xcb_window_t window);
    xcb_window_t ClientIn(xcb_window_t window, int depth);
    TWindowId DeepestAt(xcb_window_t parent, TPoint point);
    bool GrabInto(const TRect& rect, QImage& image, int dx, int dy);
    bool GrabShm(const TRect& rect, QImage& image, int dx, int dy);
    bool EnsureShm(std::size_t bytes);
    void ReleaseShm();

    xcb_connection_t* FConn = nullptr;
    xcb_screen_t* FScreen = nullptr;
    xcb_window_t FRoot = 0;
    TPixelLayout FLayout;
    xcb_atom_t FActiveWindow = 0;
    xcb_atom_t FWmState = 0;
    xcb_atom_t FGtkFrameExtents = 0;
    bool FShm = false;
    void* FShmAddress = nullptr;
    std::size_t FShmSize = 0;
    xcb_shm_seg_t FShmSeg = 0;
    bool FXFixes = false;
    bool FRandR = false;
};

// The root window's visual, when it is true colour in 32 bits a pixel.
TPixelLayout ReadPixelLayout(xcb_connection_t* conn, xcb_screen_t* screen) {
    TPixelLayout layout;
    layout.depth = screen->root_depth;
    bool bpp32 = false;
    const xcb_setup_t* setup = xcb_get_setup(conn);
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f))
        if (f.data->depth == screen->root_depth)
            bpp32 = f.data->bits_per_pixel == 32;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
        if (d.data->depth != screen->root_depth)
            continue;
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id != screen->root_visual)
                continue;
            layout.supported = bpp32 && v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                               layout.red.FromMask(v.data->red_mask) &&
                               layout.green.FromMask(v.data->green_mask) &&
                               layout.blue.FromMask(v.data->blue_mask);
            layout.plain = layout.supported && v.data->red_mask == 0xFF0000u &&
                           v.data->green_mask == 0xFF00u && v.data->blue_mask == 0xFFu;
        }
    }
    return layout;
}

TX11Platform::TX11Platform() {
    int screenNumber = 0;
    FConn = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(FConn)) {
        xcb_disconnect(FConn);
        FConn = nullptr;
        throw EPlatformError("Cannot open the X display.");
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(FConn));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    FScreen = it.data;
    FRoot = FScreen->root;

    FLayout = ReadPixelLayout(FConn, FScreen);
    FActiveWindow = Atom("_NET_ACTIVE_WINDOW");
    FWmState = Atom("WM_STATE");
    FGtkFrameExtents = Atom("_GTK_FRAME_EXTENTS");

    if (const auto* ext = xcb_get_extension_data(FConn, &xcb_shm_id); ext && ext->present) {
        TReply<xcb_shm_query_version_reply_t> v(
            xcb_shm_query_version_reply(FConn, xcb_shm_query_version(FConn), nullptr));
        FShm = static_cast<bool>(v);
    }
    if (const auto* ext = xcb_get_extension_data(FConn, &xcb_xfixes_id); ext && ext->present) {
        TReply<xcb_xfixes_query_version_reply_t> v(
            xcb_xfixes_query_version_reply(FConn, xcb_xfixes_query_version(FConn, 4, 0), nullptr));
        FXFixes = v && v->major_version >= 1;
    }
    if (const auto* ext = xcb_get_extension_data(FConn, &xcb_randr_id); ext && ext->present) {
        TReply<xcb_randr_query_version_reply_t> v(
            xcb_randr_query_version_reply(FConn, xcb_randr_query_version(FConn, 1, 5), nullptr));
        FRandR = v && (v->major_version > 1 || v->minor_version >= 5);
    }
}

TX11Platform::~TX11Platform() {
    ReleaseShm();
    if (FConn != nullptr)
        xcb_disconnect(FConn);
}

// Rows of 32-bit pixels from the server into the picture; the unused fourth byte becomes
// 255 as an RGB32 picture expects.
void CopyPixels(const std::uint32_t* src, const TRect& rect, QImage& image, int dx, int dy) {
    for (int y = 0; y < rect.Height(); ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(dy + y)) + dx;
        const std::uint32_t* in = src + static_cast<std::size_t>(y) * rect.Width();
        for (int x = 0; x < rect.Width(); ++x)
            out[x] = in[x] | 0xFF000000u;
    }
}

void ConvertPixels(const std::uint32_t* src, const TRect& rect, const TPixelLayout& layout,
                   QImage& image, int dx, int dy) {
    if (layout.plain) {
        CopyPixels(src, rect, image, dx, dy);
        return;
    }
    for (int y = 0; y < rect.Height(); ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(dy + y)) + dx;
        const std::uint32_t* in = src + static_cast<std::size_t>(y) * rect.Width();
        for (int x = 0; x < rect.Width(); ++x)
            out[x] = 0xFF000000u | (layout.red.Value8(in[x]) << 16) |
                     (layout.green.Value8(in[x]) << 8) | layout.blue.Value8(in[x]);
    }
}

xcb_atom_t TX11Platform::Atom(const char* name) {
    TReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        FConn, xcb_intern_atom(FConn, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

TRect TX11Platform::ScreenRect() {
    return {0, 0, FScreen->width_in_pixels, FScreen->height_in_pixels};
}

std::vector<TRect> TX11Platform::Monitors() {
    std::vector<TRect> monitors;
    if (FRandR) {
        TReply<xcb_randr_get_monitors_reply_t> r(
            xcb_randr_get_monitors_reply(FConn, xcb_randr_get_monitors(FConn, FRoot, 1), nullptr));
        if (r) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(r.p); it.rem > 0;
                 xcb_randr_monitor_info_next(&it))
                monitors.push_back({it.data->x, it.data->y, it.data->x + it.data->width,
                                    it.data->y + it.data->height});
        }
    }
    if (monitors.empty())
        monitors.push_back(ScreenRect());
    return monitors;
}

TPoint TX11Platform::PointerPosition() {
    TReply<xcb_query_pointer_reply_t> r(
        xcb_query_pointer_reply(FConn, xcb_query_pointer(FConn, FRoot), nullptr));
    if (!r)
        return {};
    return {r->root_x, r->root_y};
}

TWindowId TX11Platform::ActiveWindow() {
    TReply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        FConn, xcb_get_property(FConn, 0, FRoot, FActiveWindow, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!r || r->type != XCB_ATOM_WINDOW || r->format != 32 ||
        xcb_get_property_value_length(r.p) < 4)
        return 0;
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(r.p));
}

std::optional<TRect> TX11Platform::RootRect(xcb_window_t window) {
    TReply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(FConn, xcb_get_geometry(FConn, window), nullptr));
    if (!g)
        return std::nullopt;
    TReply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(
        FConn, xcb_translate_coordinates(FConn, window, FRoot, 0, 0), nullptr));
    if (!t)
        return std::nullopt;
    // The border, if any, belongs to the window's outside.
    const int border = g->border_width;
    return TRect{t->dst_x - border, t->dst_y - border, t->dst_x + g->width + border,
                 t->dst_y + g->height + border};
}

bool TX11Platform::Viewable(xcb_window_t window) {
    TReply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(FConn, xcb_get_window_attributes(FConn, window), nullptr));
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE &&
           a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
}

bool TX11Platform::HasProperty(xcb_window_t window, xcb_atom_t atom) {
    TReply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        FConn, xcb_get_property(FConn, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
    return r && r->type != XCB_ATOM_NONE;
}

xcb_window_t TX11Platform::ParentOf(xcb_window_t window) {
    TReply<xcb_query_tree_reply_t> t(
        xcb_query_tree_reply(FConn, xcb_query_tree(FConn, window), nullptr));
    return t ? t->parent : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
}

// The child of the root window that holds the window: the window manager's frame of a
// reparented client, or the window itself.
xcb_window_t TX11Platform::TopLevelOf(xcb_window_t window) {
    xcb_window_t current = window;
    for (int guard = 0; guard < 64; ++guard) {
        const xcb_window_t parent = ParentOf(current);
        if (parent == XCB_WINDOW_NONE || parent == FRoot)
            return current;
        current = parent;
    }
    return current;
}

// The client window (one carrying WM_STATE) at or below the window, searched a few levels.
xcb_window_t TX11Platform::ClientIn(xcb_window_t window, int depth) {
    if (HasProperty(window, FWmState))
        return window;
    if (depth == 0)
        return XCB_WINDOW_NONE;
    TReply<xcb_query_tree_reply_t> t(
        xcb_query_tree_reply(FConn, xcb_query_tree(FConn, window), nullptr));
    if (!t)
        return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(t.p);
    for (int i = xcb_query_tree_children_length(t.p) - 1; i >= 0; --i)
        if (const xcb_window_t client = ClientIn(children[i], depth - 1); client != XCB_WINDOW_NONE)
            return client;
    return XCB_WINDOW_NONE;
}

TWindowId TX11Platform::DeepestAt(xcb_window_t parent, TPoint point) {
    TReply<xcb_query_tree_reply_t> t(
        xcb_query_tree_reply(FConn, xcb_query_tree(FConn, parent), nullptr));
    if (!t)
        return parent;
    const xcb_window_t* children = xcb_query_tree_children(t.p);
    // Children come bottom to top: the first hit from the end is the topmost.
    for (int i = xcb_query_tree_children_length(t.p) - 1; i >= 0; --i) {
        const xcb_window_t child = children[i];
        if (!Viewable(child))
            continue;
        const std::optional<TRect> r = RootRect(child);
        if (r && r->Contains(point))
            return DeepestAt(child, point);
    }
    return parent;
}

TWindowId TX11Platform::WindowAt(TPoint point) {
    if (!ScreenRect().Contains(point))
        return 0;
    // The server picks the top-level window, honouring window shapes (a ring-shaped window
    // is not "under" the points inside its ring); below it the search goes by rectangles.
    TReply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(
        FConn,
        xcb_translate_coordinates(FConn, FRoot, FRoot, static_cast<std::int16_t>(point.X),
                                  static_cast<std::int16_t>(point.Y)),
        nullptr));
    if (!t || t->child == XCB_WINDOW_NONE)
        return 0;
    return DeepestAt(t->child, point);
}

std::optional<TRect> TX11Platform::WindowBounds(TWindowId window) {
    if (window == 0 || window == FRoot)
        return std::nullopt;
    const std::optional<TRect> own = RootRect(window);
    if (!own)
        return std::nullopt;

    // A client that draws its own frame and shadow says how wide the shadow is.
    TReply<xcb_get_property_reply_t> extents(xcb_get_property_reply(
        FConn, xcb_get_property(FConn, 0, window, FGtkFrameExtents, XCB_ATOM_CARDINAL, 0, 4),
        nullptr));
    if (extents && extents->format == 32 && xcb_get_property_value_length(extents.p) >= 16) {
        const auto* e = static_cast<const std::uint32_t*>(
            xcb_get_property_value(extents.p)); // left, right, top, bottom
        TRect r{own->Left + static_cast<int>(e[0]), own->Top + static_cast<int>(e[2]),
                own->Right - static_cast<int>(e[1]), own->Bottom - static_cast<int>(e[3])};
        if (!r.Empty())
            return r;
    }

    const xcb_window_t top = TopLevelOf(window);
    if (HasProperty(window, FWmState))
        return RootRect(top); // a top-level client: its frame as the window manager drew it
    if (window == top || ClientIn(window, 0) != XCB_WINDOW_NONE)
        return own;
    // Below a client: a child window (a control) with its own rectangle. Elsewhere inside
    // a frame (title bar, borders): the frame of the window that frame holds.
    for (xcb_window_t w = ParentOf(window); w != XCB_WINDOW_NONE && w != FRoot; w = ParentOf(w))
        if (HasProperty(w, FWmState))
            return own;
    if (ClientIn(top, 4) != XCB_WINDOW_NONE)
        return RootRect(top);
    return own;
}

// The shared-memory segment the server writes captures into. It is kept between captures
// (a fresh segment costs the server a page fault for every page it writes) and grows to
// the largest capture asked for, at least the whole screen.
bool TX11Platform::EnsureShm(std::size_t bytes) {
    if (FShmAddress != nullptr && FShmSize >= bytes)
        return true;
    ReleaseShm();
    const std::size_t screen =
        static_cast<std::size_t>(FScreen->width_in_pixels) * FScreen->height_in_pixels * 4;
    const std::size_t size = bytes > screen ? bytes : screen;
    const int id = ::shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void* memory = ::shmat(id, nullptr, SHM_RDONLY);
    if (memory == reinterpret_cast<void*>(-1)) {
        ::shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const xcb_shm_seg_t seg = xcb_generate_id(FConn);
    xcb_generic_error_t* error = xcb_request_check(
        FConn, xcb_shm_attach_checked(FConn, seg, static_cast<std::uint32_t>(id), 0));
    // Marked for removal now: it goes away once both sides have detached, even on a crash.
    ::shmctl(id, IPC_RMID, nullptr);
    if (error != nullptr) {
        std::free(error);
        ::shmdt(memory);
        return false;
    }
    FShmAddress = memory;
    FShmSize = size;
    FShmSeg = seg;
    return true;
}

void TX11Platform::ReleaseShm() {
    if (FShmAddress == nullptr)
        return;
    xcb_shm_detach(FConn, FShmSeg);
    xcb_flush(FConn);
    ::shmdt(FShmAddress);
    FShmAddress = nullptr;
    FShmSize = 0;
}

void TX11Platform::ReleaseBuffers() {
    ReleaseShm();
}

void TX11Platform::PlaceWindow(TWindowId window, const TRect& bounds) {
    // Under a scale factor Qt asks the window manager to size the window in steps of the
    // factor (a resize increment): that would round an odd size. The step is taken out.
    TReply<xcb_get_property_reply_t> hints(xcb_get_property_reply(
        FConn,
        xcb_get_property(FConn, 0, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, 18),
        nullptr));
    if (hints && hints->format == 32 && xcb_get_property_value_length(hints.p) >= 18 * 4) {
        std::uint32_t values[18];
        std::memcpy(values, xcb_get_property_value(hints.p), sizeof values);
        constexpr std::uint32_t kResizeIncrement = 1u << 6;
        constexpr std::uint32_t kBaseSize = 1u << 8;
        if ((values[0] & (kResizeIncrement | kBaseSize)) != 0) {
            values[0] &= ~(kResizeIncrement | kBaseSize);
            xcb_change_property(FConn, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                                XCB_ATOM_WM_SIZE_HINTS, 32, 18, values);
        }
    }
    const std::uint32_t values[] = {static_cast<std::uint32_t>(bounds.Left),
                                    static_cast<std::uint32_t>(bounds.Top),
                                    static_cast<std::uint32_t>(std::max(1, bounds.Width())),
                                    static_cast<std::uint32_t>(std::max(1, bounds.Height()))};
    xcb_configure_window(FConn, window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    // A round trip: the server has taken the request before anything Qt sends next on its
    // own connection (a window manager's move that must start from the new place).
    std::free(xcb_get_input_focus_reply(FConn, xcb_get_input_focus(FConn), nullptr));
}

void TX11Platform::ShapeWindow(TWindowId window, const std::vector<TRect>& parts) {
    if (!FXFixes)
        return;
    std::vector<xcb_rectangle_t> rects;
    rects.reserve(parts.size());
    for (const TRect& r : parts)
        if (!r.Empty())
            rects.push_back({static_cast<std::int16_t>(r.Left), static_cast<std::int16_t>(r.Top),
                             static_cast<std::uint16_t>(r.Width()),
                             static_cast<std::uint16_t>(r.Height())});
    const xcb_xfixes_region_t region = xcb_generate_id(FConn);
    xcb_xfixes_create_region(FConn, region, static_cast<std::uint32_t>(rects.size()), rects.data());
    // The bounding shape (kind 0); the pointer's shape follows it.
    xcb_xfixes_set_window_shape_region(FConn, window, 0, 0, 0, region);
    xcb_xfixes_destroy_region(FConn, region);
    xcb_flush(FConn);
}

// One read of the whole screen into the shared segment, which makes the server fault its
// pages in now rather than during the first capture. The program does not read the
// segment here, so its own memory use stays as it was.
void TX11Platform::Prepare() {
    const TRect screen = ScreenRect();
    if (!FShm || !EnsureShm(static_cast<std::size_t>(screen.Width()) * screen.Height() * 4))
        return;
    xcb_generic_error_t* error = nullptr;
    TReply<xcb_shm_get_image_reply_t> r(xcb_shm_get_image_reply(
        FConn,
        xcb_shm_get_image(FConn, FRoot, 0, 0, static_cast<std::uint16_t>(screen.Width()),
                          static_cast<std::uint16_t>(screen.Height()), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, FShmSeg, 0),
        &error));
    std::free(error);
}

bool TX11Platform::GrabShm(const TRect& rect, QImage& image, int dx, int dy) {
    const std::size_t bytes = static_cast<std::size_t>(rect.Width()) * rect.Height() * 4;
    if (!EnsureShm(bytes))
        return false;
    xcb_generic_error_t* error = nullptr;
    TReply<xcb_shm_get_image_reply_t> r(xcb_shm_get_image_reply(
        FConn,
        xcb_shm_get_image(
            FConn, FRoot, static_cast<std::int16_t>(rect.Left), static_cast<std::int16_t>(rect.Top),
            static_cast<std::uint16_t>(rect.Width()), static_cast<std::uint16_t>(rect.Height()),
            ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, FShmSeg, 0),
        &error));
    std::free(error);
    if (!r || r->depth != FLayout.depth)
        return false;
    ConvertPixels(static_cast<const std::uint32_t*>(FShmAddress), rect, FLayout, image, dx, dy);
    return true;
}

bool TX11Platform::GrabInto(const TRect& rect, QImage& image, int dx, int dy) {
    if (FShm && GrabShm(rect, image, dx, dy))
        return true;
    xcb_generic_error_t* error = nullptr;
    TReply<xcb_get_image_reply_t> r(xcb_get_image_reply(
        FConn,
        xcb_get_image(FConn, XCB_IMAGE_FORMAT_Z_PIXMAP, FRoot, static_cast<std::int16_t>(rect.Left),
                      static_cast<std::int16_t>(rect.Top), static_cast<std::uint16_t>(rect.Width()),
                      static_cast<std::uint16_t>(rect.Height()), ~0u),
        &error));
    std::free(error);
    if (!r || r->depth != FLayout.depth)
        return false;
    const std::size_t need = static_cast<std::size_t>(rect.Width()) * rect.Height() * 4;
    if (static_cast<std::size_t>(xcb_get_image_data_length(r.p)) < need)
        return false;
    ConvertPixels(reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(r.p)), rect, FLayout,
                  image, dx, dy);
    return true;
}

QImage TX11Platform::GrabScreen(const TRect& rect) {
    if (rect.Empty())
        throw EPlatformError("The capture rectangle is empty.");
    if (!FLayout.supported)
        throw EPlatformError("The screen's colour format (depth " + std::to_string(FLayout.depth) +
                             ") cannot be read.");
    QImage image(rect.Width(), rect.Height(), QImage::Format_RGB32);
    if (image.isNull())
        throw EPlatformError("Not enough memory for the capture.");
    const TRect inside = Intersection(rect, ScreenRect());
    if (inside.Empty() || inside != rect)
        image.fill(0xFF000000u);
    if (!inside.Empty() && !GrabInto(inside, image, inside.Left - rect.Left, inside.Top - rect.Top))
        throw EPlatformError("The screen could not be read.");
    return image;
}

std::optional<TCursorImage> TX11Platform::Cursor() {
    if (!FXFixes)
        return std::nullopt;
    TReply<xcb_xfixes_get_cursor_image_reply_t> r(
        xcb_xfixes_get_cursor_image_reply(FConn, xcb_xfixes_get_cursor_image(FConn), nullptr));
    if (!r || r->width == 0 || r->height == 0)
        return std::nullopt;
    TCursorImage cursor;
    cursor.Image = QImage(r->width, r->height, QImage::Format_ARGB32_Premultiplied);
    const std::uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(r.p);
    for (int y = 0; y < r->height; ++y)
        std::memcpy(cursor.Image.scanLine(y), pixels + static_cast<std::size_t>(y) * r->width,
                    static_cast<std::size_t>(r->width) * 4);
    cursor.HotSpot = {r->xhot, r->yhot};
    cursor.Position = {r->x, r->y};
    return cursor;
}

} // namespace

std::unique_ptr<TPlatform> CreateX11Platform() {
    return std::make_unique<TX11Platform>();
}

} // namespace quorvel
