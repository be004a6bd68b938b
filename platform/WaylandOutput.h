#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <wayland-client.h>

namespace quorvel {

// One output as the compositor describes it to a connection of ours.
struct TWaylandOutput {
    wl_output* Handle = nullptr;
    std::uint32_t Name = 0; // the registry's name of the global
    int X = 0;              // compositor layout position, logical units
    int Y = 0;
    int Width = 0; // current mode, physical pixels
    int Height = 0;
    int Scale = 1;

    // The output on the screen in physical pixels. The layout position is in the
    // compositor's logical units; with one scale on every output, scaling it by the
    // output's own factor lines the outputs up edge to edge.
    TRect Rect() const { return {X * Scale, Y * Scale, X * Scale + Width, Y * Scale + Height}; }
};

// Keeps a TWaylandOutput (the listener's data) up to date with its output's events.
extern const wl_output_listener kWaylandOutputListener;

} // namespace quorvel
