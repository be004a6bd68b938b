// quorvel-server: the upload and update server that a team runs for its own Quorvel
// installations.
//
//   quorvel-server --data DIR [--listen ADDR:PORT]     (127.0.0.1:8080 by default)
//
//   POST /image          a multipart upload with the field "file" holding a PNG; answers
//                        {"status":"success","url":"http:\/\/HOST:PORT\/i\/NAME.png"}
//   GET  /i/NAME.png     a stored picture
//   GET  /api.init.php   the update reply built from DIR/update.json; counts the hold
//                        requests and the installations it has seen
//   GET  /stats          those counts

#include "tools/server/ImageStore.h"
#include "tools/server/UpdateReply.h"

#include <httplib.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace quorvel::server;

struct TOptions {
    std::string Data;
    std::string Address = "127.0.0.1";
    int Port = 8080;
};

bool ParseListen(const std::string& text, TOptions& options) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    try {
        std::size_t used = 0;
        const int port = std::stoi(text.substr(colon + 1), &used);
        if (used != text.size() - colon - 1 || port < 0 || port > 65535)
            return false;
        options.Port = port;
    } catch (const std::exception&) {
        return false;
    }
    options.Address = host;
    return true;
}

void JsonError(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content("{\"status\":\"error\",\"message\":\"" + JsonString(message) + "\"}",
                    "application/json");
}

// The host and port the client addressed, when the Host header is plain; else ours.
std::string ReplyHost(const httplib::Request& req, const std::string& fallback) {
    const std::string host = req.get_header_value("Host");
    if (host.empty() || host.size() > 255)
        return fallback;
    for (char c : host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' ||
              c == '[' || c == ']' || c == '_'))
            return fallback;
    return host;
}

std::string ReadFile(const std::string& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--data" && i + 1 < argc) {
            options.Data = argv[++i];
        } else if (arg == "--listen" && i + 1 < argc) {
            if (!ParseListen(argv[++i], options)) {
                std::cerr << "quorvel-server: --listen takes ADDR:PORT\n";
                return 2;
            }
        } else {
            std::cerr << "usage: quorvel-server --data DIR [--listen ADDR:PORT]\n";
            return 2;
        }
    }
    if (options.Data.empty()) {
        std::cerr << "usage: quorvel-server --data DIR [--listen ADDR:PORT]\n";
        return 2;
    }
    ::mkdir(options.Data.c_str(), 0755);
    struct stat info {};
    if (::stat(options.Data.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::cerr << "quorvel-server: no data folder " << options.Data << "\n";
        return 1;
    }

    // SIGTERM and SIGINT are taken by one thread that stops the server; every other
    // thread has them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const TImageStore images(options.Data + "/images");
    const std::string updateFile = options.Data + "/update.json";
    std::mutex countsLock;
    std::set<std::string> installations;
    long holds = 0;

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    // The library listens with a backlog of 5, which drops connections when many senders
    // arrive at once; the listening socket is noted here and its backlog raised after bind.
    std::atomic<int> listening{-1};
    server.set_socket_options([&listening](int sock) {
        httplib::default_socket_options(sock);
        listening = sock;
    });
    server.set_payload_max_length(kMaxImageBytes + 64 * 1024);
    server.set_read_timeout(30, 0);
    server.set_write_timeout(30, 0);

    server.Post("/image", [&](const httplib::Request& req, httplib::Response& res) {
        if (!req.is_multipart_form_data() || !req.has_file("file")) {
            JsonError(res, 400, "the upload needs a multipart field named file");
            return;
        }
        const httplib::MultipartFormData file = req.get_file_value("file");
        if (file.content.size() > kMaxImageBytes) {
            JsonError(res, 413, "the picture is larger than 50 MB");
            return;
        }
        if (!IsRealPng(file.content)) {
            JsonError(res, 415, "the file is not a PNG picture");
            return;
        }
        const auto name = images.Store(file.content);
        if (!name) {
            res.status = 500;
            res.set_content("{\"status\":\"error\",\"message\":\"cannot store the picture\"}",
                            "application/json");
            return;
        }
        const std::string address =
            "http://" + ReplyHost(req, options.Address + ":" + std::to_string(options.Port)) +
            "/i/" + *name + ".png";
        res.set_content("{\"status\":\"success\",\"url\":\"" + JsonString(address) + "\"}",
                        "application/json");
    });

    server.Get(R"(/i/([0-9a-f]{32})\.png)",
               [&](const httplib::Request& req, httplib::Response& res) {
                   const auto path = images.PathOf(req.matches[1]);
                   bool found = false;
                   const std::string data = path ? ReadFile(*path, found) : std::string();
                   if (!found) {
                       JsonError(res, 404, "no such picture");
                       return;
                   }
                   res.set_content(data, "image/png");
               });

    server.Get("/api.init.php", [&](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard<std::mutex> lock(countsLock);
            if (req.get_header_value("User-Command") == "hold")
                ++holds;
            const std::string id = req.get_header_value("User-Union");
            if (!id.empty() && id.size() <= 64)
                installations.insert(id);
        }
        bool found = false;
        const std::string admin = ReadFile(updateFile, found);
        const auto reply = found ? BuildUpdateReply(admin) : std::optional<std::string>("{}");
        if (!reply) {
            JsonError(res, 500, "update.json is not a JSON object");
            return;
        }
        res.set_content(*reply, "application/json; charset=utf-8");
    });

    server.Get("/stats", [&](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(countsLock);
        res.set_content("{\"hold\":" + std::to_string(holds) +
                            ",\"installations\":" + std::to_string(installations.size()) + "}",
                        "application/json");
    });

    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            JsonError(res, res.status, "request not served");
    });

    std::thread stopper([&] {
        int received = 0;
        sigwait(&signals, &received);
        server.stop();
    });

    int port = options.Port;
    bool bound = false;
    if (port == 0) {
        port = server.bind_to_any_port(options.Address.c_str());
        bound = port > 0;
    } else {
        bound = server.bind_to_port(options.Address.c_str(), port);
    }
    if (!bound) {
        std::cerr << "quorvel-server: cannot listen on " << options.Address << ":" << options.Port
                  << "\n";
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
        return 1;
    }
    options.Port = port;
    if (listening >= 0)
        ::listen(listening, SOMAXCONN);
    std::cout << "quorvel-server: listening on " << options.Address << ":" << port << std::endl;
    server.listen_after_bind();
    if (server.is_running())
        server.stop();
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}
