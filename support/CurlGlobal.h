#pragma once

namespace quorvel {

// Sets libcurl up for the whole process, once, before the first transfer on any thread.
void EnsureCurlGlobal();

} // namespace quorvel
