#include "platform/Platform.h"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(PlatformChoice, QtPluginNamedFirstThenTheSessionElseX11) {
    constexpr auto X11 = TPlatformKind::X11;
    constexpr auto Wayland = TPlatformKind::Wayland;
    // The plugin Qt is told to use wins over the session: the X11 desktop tests run with
    // "xcb" whatever session they were started from.
    EXPECT_EQ(ChoosePlatformKind("xcb", "wayland-0", "wayland"), X11);
    EXPECT_EQ(ChoosePlatformKind("wayland", nullptr, "x11"), Wayland);
    EXPECT_EQ(ChoosePlatformKind("wayland-egl", nullptr, nullptr), Wayland);
    // A list names the plugins in the order Qt tries them.
    EXPECT_EQ(ChoosePlatformKind("xcb;wayland", "wayland-0", nullptr), X11);
    EXPECT_EQ(ChoosePlatformKind("wayland;xcb", nullptr, nullptr), Wayland);
    // Neither named (unset, empty, offscreen): a Wayland session is one with a Wayland
    // display or that says so, even when Qt would run on XWayland.
    EXPECT_EQ(ChoosePlatformKind(nullptr, "wayland-1", nullptr), Wayland);
    EXPECT_EQ(ChoosePlatformKind("", nullptr, "wayland"), Wayland);
    EXPECT_EQ(ChoosePlatformKind("offscreen", "wayland-1", "x11"), Wayland);
    EXPECT_EQ(ChoosePlatformKind(nullptr, "", "x11"), X11);
    EXPECT_EQ(ChoosePlatformKind(nullptr, nullptr, nullptr), X11);
    EXPECT_EQ(ChoosePlatformKind(nullptr, nullptr, "tty"), X11);
}
