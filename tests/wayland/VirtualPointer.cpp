// A pointer device for a headless compositor, which has none: drags with the left button
// from one output point to another through zwlr_virtual_pointer_v1, keeping the device for
// the whole drag (a compositor forgets a button held by a device that has gone).
//
//   quorvel_test_pointer WIDTH HEIGHT X1 Y1 X2 Y2 [right]
//   quorvel_test_pointer WIDTH HEIGHT X Y hold
//
// WIDTH and HEIGHT are the output's size in the compositor's layout units; the points are
// in the same units. "hold" moves the pointer to the point and keeps the device (and with
// it the seat's pointer) until the program is ended.

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr std::uint32_t kLeftButton = 0x110;  // BTN_LEFT
constexpr std::uint32_t kRightButton = 0x111; // BTN_RIGHT

zwlr_virtual_pointer_manager_v1* manager = nullptr;

void Global(void*, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t) {
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void GlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistry = {.global = Global, .global_remove = GlobalRemove};

std::uint32_t Now() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

int main(int argc, char** argv) {
    const bool hold = argc == 6 && std::string(argv[5]) == "hold";
    if (argc != 7 && !(argc == 8 && std::string(argv[7]) == "right") && !hold) {
        std::fprintf(stderr,
                     "usage: %s WIDTH HEIGHT X1 Y1 X2 Y2 [right]\n"
                     "       %s WIDTH HEIGHT X Y hold\n",
                     argv[0], argv[0]);
        return 2;
    }
    // The left button unless told otherwise.
    const std::uint32_t which = argc == 8 ? kRightButton : kLeftButton;
    int v[6] = {};
    for (int i = 0; i < (hold ? 4 : 6); ++i)
        v[i] = std::atoi(argv[i + 1]);
    const auto width = static_cast<std::uint32_t>(v[0]);
    const auto height = static_cast<std::uint32_t>(v[1]);

    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, nullptr);
    wl_display_roundtrip(display);
    if (manager == nullptr) {
        std::fprintf(stderr, "the compositor offers no virtual pointer\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);

    const auto pause = [display](int ms) {
        wl_display_roundtrip(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
    const auto moveTo = [&](int x, int y) {
        zwlr_virtual_pointer_v1_motion_absolute(pointer, Now(), static_cast<std::uint32_t>(x),
                                                static_cast<std::uint32_t>(y), width, height);
        zwlr_virtual_pointer_v1_frame(pointer);
    };
    const auto button = [&](bool down) {
        zwlr_virtual_pointer_v1_button(pointer, Now(), which,
                                       down ? WL_POINTER_BUTTON_STATE_PRESSED
                                            : WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
    };

    if (hold) {
        moveTo(v[2], v[3]);
        wl_display_roundtrip(display);
        std::printf("holding\n");
        std::fflush(stdout);
        while (wl_display_dispatch(display) >= 0) {
        }
        return 0;
    }
    // Enter the window first, then press, move in steps and let go where the drag ends.
    moveTo(v[2], v[3]);
    pause(150);
    moveTo(v[2], v[3]);
    pause(100);
    button(true);
    pause(100);
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps; ++i) {
        moveTo(v[2] + (v[4] - v[2]) * i / kSteps, v[3] + (v[5] - v[3]) * i / kSteps);
        pause(30);
    }
    pause(100);
    button(false);
    pause(200);
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
