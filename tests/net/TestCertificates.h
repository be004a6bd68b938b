#pragma once

#include <string>

namespace quorvel::test {

// A private certificate authority and a server certificate it signed for 127.0.0.1 and
// localhost, made with the openssl command in `folder`: ca.pem, server.pem, server.key.
// False when the command failed.
bool MakeTestCertificates(const std::string& folder);

} // namespace quorvel::test
