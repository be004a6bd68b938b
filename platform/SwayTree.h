#pragma once

#include "platform/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// sway's IPC (the i3 protocol): every message is "i3-ipc", the payload's length and the
// message type (both 32-bit, host byte order), then the payload.
constexpr std::uint32_t kSwayGetOutputs = 3;
constexpr std::uint32_t kSwayGetTree = 4;
constexpr std::size_t kSwayHeaderSize = 14;
// The longest reply taken: a tree of thousands of windows stays far below it, and a peer
// that announces more is not a compositor worth waiting for.
constexpr std::uint32_t kSwayReplyLimit = 16u << 20;

std::string SwayRequest(std::uint32_t type, const std::string& payload = {});

struct TSwayHeader {
    std::uint32_t Length = 0;
    std::uint32_t Type = 0;
};
// The header at the start of a reply (kSwayHeaderSize bytes); none when it does not start
// with the magic or announces more than kSwayReplyLimit.
std::optional<TSwayHeader> SwayReplyHeader(const char* bytes);

// A window the compositor shows: its container id and its content (the client's own
// surface, without sway's title bar and borders) in physical pixels of the screen.
struct TSwayWindow {
    std::int64_t Id = 0;
    std::int64_t Pid = 0; // the client's process; 0 when sway does not say
    TRect Bounds;
    bool Focused = false;
};

// The windows on show in a get_tree reply, from the bottom of the stacking order to the
// top: the tiled windows of each visible workspace, then its floating ones in the order
// sway draws them, then a full-screen one. Layout units are turned into physical pixels
// with the scale of the output holding the window. None when the text is not a tree.
std::optional<std::vector<TSwayWindow>> SwayWindows(const std::string& treeJson);

// The focused window's id; none when no window has the focus (an empty workspace).
std::optional<std::int64_t> SwayFocusedWindow(const std::vector<TSwayWindow>& windows);
// The topmost window whose content holds the point; none over the bare desktop.
std::optional<std::int64_t> SwayWindowAt(const std::vector<TSwayWindow>& windows, TPoint point);

} // namespace quorvel
