// Sends a request to the running Quorvel: a JSON command (printing the reply, 1 or 0),
// or --show / --exit.

#include "app/SingleInstance.h"

#include <cstdio>
#include <cstring>
#include <exception>

using namespace quorvel;

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr,
                     "usage: quorvelctl '{\"command\":\"capture\"}'   run a command, print 1 or 0\n"
                     "       quorvelctl --show                      show the main window\n"
                     "       quorvelctl --exit                      ask Quorvel to exit\n");
        return 2;
    }
    TRequest request;
    if (std::strcmp(argv[1], "--show") == 0)
        request = {TRequestType::User, kUserShow, {}};
    else if (std::strcmp(argv[1], "--exit") == 0)
        request = {TRequestType::User, kUserExit, {}};
    else
        request = {TRequestType::CopyData, kCopyDataCommand, argv[1]};
    if (request.Payload.size() > kMaxRequestPayload) {
        std::fprintf(stderr, "quorvelctl: the command is longer than %zu bytes\n",
                     kMaxRequestPayload);
        return 2;
    }
    try {
        const std::optional<char> reply = SendToInstance(request);
        if (!reply) {
            std::fprintf(stderr, "quorvelctl: Quorvel is not running\n");
            return 1;
        }
        if (request.Type == TRequestType::CopyData)
            std::printf("%c\n", *reply);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvelctl: %s\n", e.what());
        return 1;
    }
}
