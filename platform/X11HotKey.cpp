// Global hotkeys on X11: passive key grabs on the root window, on a connection of their
// own whose events a socket notifier hands to the user-interface thread.

#include "platform/X11HotKey.h"

#include <QSocketNotifier>
#include <QTimer>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace quorvel {

namespace {

// The keysym of a Windows virtual-key code, for the keys a capture shortcut may use.
xcb_keysym_t KeysymOf(std::uint8_t vk) {
    if (vk == 0x2C)
        return XK_Print;
    if (vk == 0x2E)
        return XK_Delete;
    if (vk >= 'A' && vk <= 'Z')
        return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return XK_0 + (vk - '0');
    if (vk >= 0x70 && vk <= 0x7B)
        return XK_F1 + (vk - 0x70);
    return 0;
}

class TX11HotKey final : public THotKey {
public:
    explicit TX11HotKey(std::function<void()> onPress);
    ~TX11HotKey() override;

    bool Register(std::uint8_t vk, unsigned modifiers) override;
    void Unregister() override;

private:
    std::vector<xcb_keycode_t> KeycodesOf(xcb_keysym_t keysym);
    std::uint16_t ModifierOf(xcb_keysym_t keysym);
    void HandleEvents();
    void RetryAfterRemapping(std::size_t attempt);

    std::function<void()> FOnPress;
    xcb_connection_t* FConn = nullptr;
    xcb_window_t FRoot = 0;
    QSocketNotifier* FNotifier = nullptr;
    struct TGrab {
        xcb_keycode_t key;
        std::uint16_t modifiers;
    };
    std::vector<TGrab> FGrabs;
    std::uint16_t FBase = 0;
    std::uint16_t FIgnored = 0;
    // The key asked for, taken again when the keyboard's mapping changes (another layout,
    // xmodmap), which can move it to other key codes or Num Lock to another modifier.
    std::uint8_t FVk = 0;
    unsigned FModifiers = 0;
    bool FWanted = false;
    bool FHandling = false;
};

TX11HotKey::TX11HotKey(std::function<void()> onPress) : FOnPress(std::move(onPress)) {
    FConn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(FConn)) {
        xcb_disconnect(FConn);
        FConn = nullptr;
        throw EPlatformError("Cannot open the X display.");
    }
    FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConn)).data->root;
    FNotifier = new QSocketNotifier(xcb_get_file_descriptor(FConn), QSocketNotifier::Read);
    QObject::connect(FNotifier, &QSocketNotifier::activated, FNotifier, [this] { HandleEvents(); });
}

TX11HotKey::~TX11HotKey() {
    Unregister();
    delete FNotifier;
    xcb_disconnect(FConn);
}

std::vector<xcb_keycode_t> TX11HotKey::KeycodesOf(xcb_keysym_t keysym) {
    std::vector<xcb_keycode_t> codes;
    const xcb_setup_t* setup = xcb_get_setup(FConn);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
        FConn,
        xcb_get_keyboard_mapping(FConn, setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr);
    if (map == nullptr)
        return codes;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    const int per = map->keysyms_per_keycode;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < per && j < 2; ++j)
            if (syms[i * per + j] == keysym) {
                codes.push_back(static_cast<xcb_keycode_t>(setup->min_keycode + i));
                break;
            }
    std::free(map);
    return codes;
}

// The modifier bit that a key such as Num Lock sets; 0 when none does.
std::uint16_t TX11HotKey::ModifierOf(xcb_keysym_t keysym) {
    const std::vector<xcb_keycode_t> codes = KeycodesOf(keysym);
    xcb_get_modifier_mapping_reply_t* mods =
        xcb_get_modifier_mapping_reply(FConn, xcb_get_modifier_mapping(FConn), nullptr);
    if (mods == nullptr)
        return 0;
    std::uint16_t result = 0;
    const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(mods);
    for (int m = 0; m < 8 && result == 0; ++m)
        for (int k = 0; k < mods->keycodes_per_modifier; ++k)
            for (xcb_keycode_t code : codes)
                if (keys[m * mods->keycodes_per_modifier + k] == code)
                    result = static_cast<std::uint16_t>(1u << m);
    std::free(mods);
    return result;
}

bool TX11HotKey::Register(std::uint8_t vk, unsigned modifiers) {
    Unregister();
    FVk = vk;
    FModifiers = modifiers;
    FWanted = true;
    const xcb_keysym_t keysym = KeysymOf(vk);
    const std::vector<xcb_keycode_t> codes =
        keysym ? KeycodesOf(keysym) : std::vector<xcb_keycode_t>();
    if (codes.empty())
        return false;
    FBase = static_cast<std::uint16_t>(((modifiers & 1) ? XCB_MOD_MASK_1 : 0) |
                                       ((modifiers & 2) ? XCB_MOD_MASK_CONTROL : 0) |
                                       ((modifiers & 4) ? XCB_MOD_MASK_SHIFT : 0));
    const std::uint16_t numLock = ModifierOf(XK_Num_Lock);
    FIgnored = static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock);
    std::vector<std::uint16_t> variants{0, XCB_MOD_MASK_LOCK};
    if (numLock != 0) {
        variants.push_back(numLock);
        variants.push_back(static_cast<std::uint16_t>(numLock | XCB_MOD_MASK_LOCK));
    }
    std::vector<std::pair<TGrab, xcb_void_cookie_t>> pending;
    for (xcb_keycode_t code : codes)
        for (std::uint16_t extra : variants) {
            const std::uint16_t mods = static_cast<std::uint16_t>(FBase | extra);
            pending.push_back({{code, mods},
                               xcb_grab_key_checked(FConn, 1, FRoot, mods, code,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
        }
    bool ok = true;
    for (auto& [grab, cookie] : pending) {
        if (xcb_generic_error_t* error = xcb_request_check(FConn, cookie)) {
            ok = false; // BadAccess: another client holds it
            std::free(error);
        } else {
            FGrabs.push_back(grab);
        }
    }
    if (!ok) {
        Unregister();
        FWanted = true; // still wanted: a later mapping change may free it
    }
    // Replies may have queued events that the notifier will not announce again.
    HandleEvents();
    return ok;
}

void TX11HotKey::Unregister() {
    FWanted = false;
    for (const TGrab& grab : FGrabs)
        xcb_ungrab_key(FConn, grab.key, FRoot, grab.modifiers);
    FGrabs.clear();
    xcb_flush(FConn);
}

void TX11HotKey::HandleEvents() {
    if (FHandling)
        return;
    FHandling = true;
    bool remapped = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(FConn)) {
        if ((event->response_type & 0x7F) == XCB_MAPPING_NOTIFY) {
            const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
            remapped = remapped || mapping->request != XCB_MAPPING_POINTER;
        }
        const bool press = (event->response_type & 0x7F) == XCB_KEY_PRESS;
        bool ours = false;
        if (press) {
            const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
            for (const TGrab& grab : FGrabs)
                if (grab.key == key->detail && (key->state & ~FIgnored & 0xFF) == FBase)
                    ours = true;
        }
        std::free(event);
        if (ours && FOnPress)
            FOnPress();
    }
    FHandling = false;
    if (remapped && FWanted)
        RetryAfterRemapping(0);
}

// A window manager or desktop that is told to give up a key often reloads the keyboard
// mapping first and releases its grab a moment later, and X says nothing when a grab ends:
// the key is asked for at the change and again a few times over the next seconds.
void TX11HotKey::RetryAfterRemapping(std::size_t attempt) {
    static constexpr int kDelaysMs[] = {0, 300, 1000, 2500, 5000};
    // At the change the key is taken anew wherever the new mapping put it; the later
    // attempts are for a key that was still held by another program.
    if (!FWanted || (attempt > 0 && !FGrabs.empty()))
        return;
    if (Register(FVk, FModifiers))
        return;
    if (attempt + 1 >= std::size(kDelaysMs)) {
        std::fprintf(stderr, "quorvel: the capture key could not be taken again after a "
                             "keyboard mapping change\n");
        return;
    }
    QTimer::singleShot(kDelaysMs[attempt + 1], FNotifier,
                       [this, attempt] { RetryAfterRemapping(attempt + 1); });
}

} // namespace

std::unique_ptr<THotKey> CreateX11HotKey(std::function<void()> onPress) {
    return std::make_unique<TX11HotKey>(std::move(onPress));
}

} // namespace quorvel
