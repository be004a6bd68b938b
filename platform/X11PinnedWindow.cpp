// Window-manager requests for pinned windows, after the Extended Window Manager Hints:
// the window states above / skip taskbar / skip pager, exact placement, and the window
// manager's interactive move.

#include "platform/X11PinnedWindow.h"

#include <QGuiApplication>
#include <QImage>
#include <QSysInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <xcb/xcb.h>

namespace quorvel {

namespace {

constexpr std::uint32_t kStateAdd = 1;
constexpr std::uint32_t kMoveResizeMove = 8;
constexpr std::uint32_t kSourceApplication = 1;

xcb_connection_t* Connection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t RootOf(xcb_connection_t* conn, xcb_window_t window) {
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(conn, xcb_get_geometry(conn, window), nullptr);
    const xcb_window_t root = g != nullptr ? g->root : 0;
    std::free(g);
    return root;
}

xcb_atom_t Atom(xcb_connection_t* conn, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        conn, xcb_intern_atom(conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = r != nullptr ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return atom;
}

// The atoms of a 32-bit ATOM list property; empty when there is none.
std::vector<xcb_atom_t> AtomList(xcb_connection_t* conn, xcb_window_t window, xcb_atom_t property) {
    std::vector<xcb_atom_t> atoms;
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        conn, xcb_get_property(conn, 0, window, property, XCB_ATOM_ATOM, 0, 4096), nullptr);
    if (r != nullptr && r->type == XCB_ATOM_ATOM && r->format == 32) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
        atoms.assign(data, data + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return atoms;
}

void SendToRoot(xcb_connection_t* conn, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                const std::uint32_t (&data)[5]) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::memcpy(event.data.data32, data, sizeof data);
    xcb_send_event(conn, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

} // namespace

void X11KeepAboveUnlisted(TWindowId window) {
    xcb_connection_t* conn = Connection();
    if (conn == nullptr || window == 0)
        return;
    const xcb_window_t root = RootOf(conn, window);
    if (root == 0)
        return;
    const xcb_atom_t state = Atom(conn, "_NET_WM_STATE");
    const xcb_atom_t wanted[] = {Atom(conn, "_NET_WM_STATE_ABOVE"),
                                 Atom(conn, "_NET_WM_STATE_SKIP_TASKBAR"),
                                 Atom(conn, "_NET_WM_STATE_SKIP_PAGER")};
    // A window not yet shown carries its states in its own property, which the window
    // manager reads when the window is mapped; the toolkit adds its own states to the list
    // rather than replacing it.
    std::vector<xcb_atom_t> atoms = AtomList(conn, window, state);
    for (xcb_atom_t atom : wanted)
        if (std::find(atoms.begin(), atoms.end(), atom) == atoms.end())
            atoms.push_back(atom);
    xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
    // A window already shown asks the window manager instead.
    SendToRoot(conn, root, window, state, {kStateAdd, wanted[0], wanted[1], kSourceApplication, 0});
    SendToRoot(conn, root, window, state, {kStateAdd, wanted[2], 0, kSourceApplication, 0});
    xcb_flush(conn);
}

bool X11StartWindowMove(TWindowId window, TPoint from) {
    xcb_connection_t* conn = Connection();
    if (conn == nullptr || window == 0)
        return false;
    const xcb_window_t root = RootOf(conn, window);
    if (root == 0)
        return false;
    const xcb_atom_t moveResize = Atom(conn, "_NET_WM_MOVERESIZE");
    const std::vector<xcb_atom_t> supported = AtomList(conn, root, Atom(conn, "_NET_SUPPORTED"));
    if (std::find(supported.begin(), supported.end(), moveResize) == supported.end())
        return false;
    // The window manager takes the pointer for its move; the grab that the button press
    // gave this program has to go first.
    xcb_ungrab_pointer(conn, XCB_CURRENT_TIME);
    SendToRoot(conn, root, window, moveResize,
               {static_cast<std::uint32_t>(from.X), static_cast<std::uint32_t>(from.Y),
                kMoveResizeMove, XCB_BUTTON_INDEX_1, kSourceApplication});
    xcb_flush(conn);
    return true;
}

bool X11DrawPicture(TWindowId window, const QImage& picture, const TRect& area) {
    xcb_connection_t* conn = Connection();
    if (conn == nullptr || window == 0 || picture.format() != QImage::Format_RGB32)
        return false;
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(conn, xcb_get_geometry(conn, window), nullptr);
    const int depth = g != nullptr ? g->depth : 0;
    std::free(g);
    // 32-bit pixels 0x00RRGGBB in the machine's byte order are what a 24- or 32-bit
    // little-endian display takes.
    const bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    if ((depth != 24 && depth != 32) || !littleEndian ||
        xcb_get_setup(conn)->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    const int top = std::max(area.Top, 0);
    const int bottom = std::min(area.Bottom, picture.height());
    if (top >= bottom)
        return true;
    const xcb_gcontext_t gc = xcb_generate_id(conn);
    xcb_create_gc(conn, gc, window, 0, nullptr);
    // Whole rows, as many as one request holds.
    const std::size_t stride = static_cast<std::size_t>(picture.bytesPerLine());
    const std::size_t maxBytes = static_cast<std::size_t>(xcb_get_maximum_request_length(conn)) * 4;
    const int rowsPerRequest = static_cast<int>(
        std::max<std::size_t>(1, (maxBytes - 64) / std::max<std::size_t>(stride, 1)));
    for (int y = top; y < bottom; y += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, bottom - y);
        xcb_put_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc,
                      static_cast<std::uint16_t>(picture.width()), static_cast<std::uint16_t>(rows),
                      0, static_cast<std::int16_t>(y), 0, static_cast<std::uint8_t>(depth),
                      static_cast<std::uint32_t>(stride * static_cast<std::size_t>(rows)),
                      picture.constScanLine(y));
    }
    xcb_free_gc(conn, gc);
    xcb_flush(conn);
    return true;
}

} // namespace quorvel
