#pragma once

#include "sinks/UploadRequest.h"

#include <QImage>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvel {

// Called on the uploading thread before each block of the body with (bytes sent so far,
// total body size), and once more with the total when the body has gone out.
using TUploadProgress = std::function<void(std::int32_t Sent, std::int32_t Total)>;

// How long an upload may wait for the server. A server that accepts the connection and
// then says nothing ends the upload after StallSeconds without a byte moving.
struct TUploadTimeouts {
    long ConnectSeconds = 30;
    long StallSeconds = 60;
};

// Posts the PNG as a multipart form to /image on the server over HTTP/1.0, in blocks of at
// most 1024 bytes, and returns the picture's address from the reply; the empty text on any
// failure of the network or the server. Nothing is retried. The usual proxy environment
// variables are honoured.
std::string PostUpload(const TUploadServer& Server, const std::vector<std::uint8_t>& Png,
                       const std::string& Boundary, const TUploadProgress& Progress,
                       const TUploadTimeouts& Timeouts = {});

// Encodes the capture as a PNG with the file writer's settings and uploads it with a fresh
// boundary.
std::string UploadToPicvault(const QImage& Bitmap, const TUploadServer& Server,
                             const TUploadProgress& Progress);

} // namespace quorvel
