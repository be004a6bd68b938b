#pragma once

#include "sinks/UploadRequest.h"

#include <QImage>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvel {

// Called on the uploading thread before each block of the body with (bytes sent so far,
// total body size), and once more with the total when the body has gone out.
using TUploadProgress = std::function<void(std::int32_t Sent, std::int32_t Total)>;

// How long an upload may take, its key, and the flag that ends it early. A server that
// accepts the connection and then says nothing ends the upload after StallSeconds without
// a byte moving; a trickling one, after TotalSeconds. A set Stop flag ends it within about
// 10 ms.
struct TUploadOptions {
    long ConnectSeconds = 30;
    long StallSeconds = 30;
    long TotalSeconds = 300;
    std::string Key; // sent as "Authorization: Bearer KEY" when set
    const std::atomic<bool>* Stop = nullptr;
};

// Posts the PNG as a multipart form to /image on the server over HTTP/1.0 (HTTPS for a
// secure server, its certificate checked), in blocks of at most 1024 bytes, and returns
// the picture's address from the reply; the empty text on any failure of the network or
// the server, for a reply over 1 MB, and for an address that is not http or https.
// Nothing is retried. The usual proxy environment variables are honoured.
std::string PostUpload(const TUploadServer& Server, const std::vector<std::uint8_t>& Png,
                       const std::string& Boundary, const TUploadProgress& Progress,
                       const TUploadOptions& Options = {});

// Encodes the capture as a PNG with the file writer's settings and uploads it with a fresh
// boundary.
std::string UploadToPicvault(const QImage& Bitmap, const TUploadServer& Server,
                             const TUploadProgress& Progress, const TUploadOptions& Options);

} // namespace quorvel
