#include "app/ChannelProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Whatever arrives on the command socket: reading never fails, a complete request is
// exactly what its encoding says, and it encodes back to the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    quorvel::TRequest request;
    if (quorvel::ParseRequest(bytes, request) == quorvel::TParseResult::Complete) {
        if (request.Payload.size() > quorvel::kMaxRequestPayload ||
            quorvel::EncodeRequest(request) != bytes)
            __builtin_trap();
    }
    return 0;
}
