#pragma once

#include "platform/LayerSurface.h"

#include <memory>
#include <optional>

namespace quorvel {

// A layer-shell surface on a Wayland connection of the user-interface thread's own,
// connected on first use; null when the compositor offers no layer shell. Call on the
// user-interface thread only.
std::unique_ptr<TLayerSurface> CreateWaylandLayerSurface(TSurfaceLayer layer, TSurfaceKeys keys,
                                                         TLayerSurface::THandlers handlers);

// Where the pointer stands, in physical screen pixels, learnt by covering every output for
// a moment with a clear surface of the overlay layer that takes the pointer: the
// compositor tells a surface where the pointer entered it, and tells no client where the
// pointer is over another program's window. The window below sees the pointer leave and
// come back. None when the compositor offers no layer shell or its seat no pointer, or
// when it did not say within a few round trips. Call on the user-interface thread only.
std::optional<TPoint> FindWaylandPointer();

} // namespace quorvel
