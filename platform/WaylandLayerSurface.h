#pragma once

#include "platform/LayerSurface.h"

#include <memory>

namespace quorvel {

// A layer-shell surface on a Wayland connection of the user-interface thread's own,
// connected on first use; null when the compositor offers no layer shell. Call on the
// user-interface thread only.
std::unique_ptr<TLayerSurface> CreateWaylandLayerSurface(TSurfaceLayer layer, bool keyboard,
                                                         TLayerSurface::THandlers handlers);

} // namespace quorvel
