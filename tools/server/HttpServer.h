#pragma once

#include "tools/server/ImageStore.h"
#include "tools/server/ServerOptions.h"
#include "tools/server/UpdateCounts.h"
#include "tools/server/UploadKeys.h"

#include <memory>
#include <string>

namespace quorvel::server {

// How long a client may take: for its whole request head, for each piece of a body that
// is arriving, for a whole upload, and for taking a reply.
struct TServerLimits {
    int HeaderSeconds = 10;
    int BodyIdleSeconds = 30;
    int UploadSeconds = 600;
    int WriteSeconds = 300;
};

// What the requests are served from.
struct TServerContext {
    TServerOptions Options;
    TServerLimits Limits;
    std::string AddressBase;           // the start of returned addresses
    std::unique_ptr<TUploadKeys> Keys; // none: uploads without a key
    std::unique_ptr<TImageStore> Images;
    TUpdateCounts Counts;
    std::string UpdateFile;
};

// Listens as the options say and serves until SIGTERM or SIGINT. The exit status: 0 after
// a clean end, 1 when the address cannot be listened on or TLS cannot be set up (the
// reason on standard error).
int RunHttpServer(TServerContext& context);

} // namespace quorvel::server
