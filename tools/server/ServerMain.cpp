// quorvel-server: the upload and update server that a team runs for its own Quorvel
// installations.
//
//   POST /image          a multipart upload with the field "file" holding a PNG; answers
//                        {"status":"success","url":"http:\/\/HOST:PORT\/i\/NAME.png"}
//   GET  /i/NAME.png     a stored picture
//   GET  /api.init.php   the update reply built from DIR/update.json; counts the hold
//                        requests and the installations it has seen
//   GET  /stats          those counts
//
// The options are in the usage text and the manual page.

#include "tools/server/AccessLog.h"
#include "tools/server/HttpServer.h"

#include <csignal>
#include <iostream>
#include <sys/stat.h>

using namespace quorvel::server;

int main(int argc, char** argv) {
    TServerContext context;
    try {
        context.Options = ParseServerOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EUsage& error) {
        std::cerr << "quorvel-server: " << error.what() << "\n" << kUsage;
        return 2;
    }
    const TServerOptions& options = context.Options;
    if (const std::string refusal = RefusalToStart(options); !refusal.empty()) {
        std::cerr << "quorvel-server: " << refusal << "\n";
        return 2;
    }
    ::mkdir(options.Data.c_str(), 0750);
    struct stat info {};
    if (::stat(options.Data.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::cerr << "quorvel-server: no data folder " << options.Data << "\n";
        return 1;
    }
    if (!options.KeysFile.empty()) {
        context.Keys = std::make_unique<TUploadKeys>();
        std::string why;
        if (!context.Keys->Load(options.KeysFile, why)) {
            std::cerr << "quorvel-server: " << why << "\n";
            return 1;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    context.Images = std::make_unique<TImageStore>(options.Data + "/images");
    context.UpdateFile = options.Data + "/update.json";
    try {
        return RunHttpServer(context);
    } catch (const std::exception& error) {
        LogError(std::string("the server stopped: ") + error.what());
        return 1;
    }
}
