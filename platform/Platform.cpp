// The choice between the X11 and the Wayland implementation, and what both share.

#include "platform/Platform.h"
#include "platform/WaylandPlatform.h"
#include "platform/X11Platform.h"

#include <cstdlib>
#include <mutex>
#include <string_view>

namespace quorvel {

namespace {

std::mutex platformLock;
std::unique_ptr<TPlatform> platform;

bool Set(const char* value) {
    return value != nullptr && *value != '\0';
}

} // namespace

TPlatformKind ChoosePlatformKind(const char* qpaPlatform, const char* waylandDisplay,
                                 const char* sessionType) {
    if (Set(qpaPlatform)) {
        // "wayland;xcb" names the plugins Qt tries in turn; the first is the one meant.
        std::string_view qpa(qpaPlatform);
        qpa = qpa.substr(0, qpa.find(';'));
        if (qpa.starts_with("xcb"))
            return TPlatformKind::X11;
        if (qpa.starts_with("wayland"))
            return TPlatformKind::Wayland;
    }
    if (Set(waylandDisplay) || (Set(sessionType) && std::string_view(sessionType) == "wayland"))
        return TPlatformKind::Wayland;
    return TPlatformKind::X11;
}

TPlatform& Platform() {
    std::lock_guard lock(platformLock);
    if (!platform) {
        const TPlatformKind kind =
            ChoosePlatformKind(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                               std::getenv("XDG_SESSION_TYPE"));
        platform = kind == TPlatformKind::Wayland ? CreateWaylandPlatform() : CreateX11Platform();
    }
    return *platform;
}

TRect MonitorNearest(const std::vector<TRect>& monitors, TPoint point, const TRect& screen) {
    const TRect* best = nullptr;
    long long bestDistance = 0;
    for (const TRect& m : monitors) {
        const long long d = DistanceSquared(m, point);
        if (best == nullptr || d < bestDistance) {
            best = &m;
            bestDistance = d;
        }
    }
    return best != nullptr ? *best : screen;
}

TRect MonitorUnderPointer(TPlatform& platform) {
    // With one monitor the pointer is not asked for: where it is found only by covering
    // the screen for a moment, that would disturb the window below for nothing.
    const std::vector<TRect> monitors = platform.Monitors();
    if (monitors.size() == 1)
        return monitors.front();
    return MonitorNearest(monitors, platform.PointerPosition(), platform.ScreenRect());
}

} // namespace quorvel
