#pragma once

#include "support/UpdateProtocol.h"

#include <atomic>
#include <string>

namespace quorvel {

// GET of the address with the headers set in the given order. True with the body decoded
// as UTF-8 when any HTTP answer arrived, whatever its status (an error page is a reply);
// false when none did (no connection, name, certificate, time-out) or the reply is larger
// than kMaxReplyBytes. A set Stop flag ends
// a transfer under way within about 10 ms, as a failure.
bool HttpGetText(const std::string& Url, const THeaders& Headers, std::u16string& Reply,
                 const std::atomic<bool>* Stop = nullptr);

} // namespace quorvel
