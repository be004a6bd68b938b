#include "platform/WaylandOutput.h"

#include <algorithm>

namespace quorvel {

const wl_output_listener kWaylandOutputListener = {
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t) {
            auto* o = static_cast<TWaylandOutput*>(data);
            o->X = x;
            o->Y = y;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
            if ((flags & WL_OUTPUT_MODE_CURRENT) == 0)
                return;
            auto* o = static_cast<TWaylandOutput*>(data);
            o->Width = width;
            o->Height = height;
        },
    .done = [](void*, wl_output*) {},
    .scale =
        [](void* data, wl_output*, std::int32_t factor) {
            static_cast<TWaylandOutput*>(data)->Scale = std::max(1, factor);
        },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

} // namespace quorvel
