#include "tools/server/HttpServer.h"

#include "tools/server/AccessLog.h"
#include "tools/server/MultipartStream.h"
#include "tools/server/PngCheck.h"
#include "tools/server/UpdateReply.h"

#include <boost/asio/ip/host_name.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace quorvel::server {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using TClock = std::chrono::steady_clock;

// A multipart body may carry its heads and boundaries beside the picture.
constexpr std::uint64_t kMaxBodyBytes = kMaxImageBytes + 64 * 1024;
constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
constexpr std::size_t kMaxTargetBytes = 2048;
constexpr int kMaxRequestsPerConnection = 100;
constexpr std::size_t kBodyChunk = 64 * 1024;
constexpr int kIoThreads = 4;
// Checking and keeping an upload waits on the disk (its flush): enough threads that
// parallel senders do not queue behind each other's flushes.
constexpr int kCheckThreads = 16;

std::string JsonError(const std::string& message) {
    return "{\"status\":\"error\",\"message\":\"" + JsonString(message) + "\"}";
}

std::string ReadFile(const std::string& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsPicturePath(std::string_view target, std::string& name) {
    static constexpr std::string_view prefix = "/i/";
    if (target.size() != prefix.size() + 36 || target.substr(0, prefix.size()) != prefix ||
        target.substr(target.size() - 4) != ".png")
        return false;
    name = std::string(target.substr(prefix.size(), 32));
    return IsImageName(name);
}

// What every session shares: the context, the pool that checks uploads off the network
// threads, and the count of open connections.
struct TShared {
    TServerContext& Context;
    asio::thread_pool& Checks;
    std::atomic<int>& Connections;
};

template <class Stream> class TSession : public std::enable_shared_from_this<TSession<Stream>> {
public:
    static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

    template <class... Args>
    TSession(TShared shared, std::string client, Args&&... args)
        : FShared(shared), FClient(std::move(client)), FStream(std::forward<Args>(args)...) {
        ++FShared.Connections;
    }
    ~TSession() {
        if (FPart)
            Context().Images->Discard(*FPart);
        --FShared.Connections;
    }

    void Start() {
        if constexpr (kTls) {
            Lowest().expires_after(std::chrono::seconds(Limits().HeaderSeconds));
            FStream.async_handshake(ssl::stream_base::server,
                                    [self = this->shared_from_this()](beast::error_code ec) {
                                        if (!ec)
                                            self->ReadHead();
                                        else
                                            self->Lowest().close();
                                    });
        } else {
            ReadHead();
        }
    }

private:
    TServerContext& Context() { return FShared.Context; }
    const TServerLimits& Limits() { return FShared.Context.Limits; }
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(FStream); }

    void ReadHead() {
        FParser.emplace();
        FParser->header_limit(kMaxHeaderBytes);
        FParser->body_limit(kMaxBodyBytes);
        FKeyName.clear();
        // One deadline for the whole head: a client that sends it a byte at a time still
        // has to finish within it.
        Lowest().expires_after(std::chrono::seconds(Limits().HeaderSeconds));
        http::async_read_header(FStream, FBuffer, *FParser,
                                [self = this->shared_from_this()](
                                    beast::error_code ec, std::size_t) { self->OnHead(ec); });
    }

    void OnHead(beast::error_code ec) {
        if (ec) {
            const bool quiet = ec == http::error::end_of_stream ||
                               (ec == beast::error::timeout && FBuffer.size() == 0 && FServed > 0);
            if (ec == http::error::header_limit)
                return Reply(431, JsonError("the request head is too large"), true);
            if (ec == http::error::body_limit) // a Content-Length past the limit
                return Reply(413, JsonError("the picture is larger than 50 MB"), true);
            if (ec == beast::error::timeout) {
                if (!quiet)
                    Log("-", "-", 408, 0);
                return Close();
            }
            if (!quiet && ec != asio::error::connection_reset && ec != asio::error::eof)
                return Reply(400, JsonError("a malformed request"), true);
            return Close();
        }
        ++FServed;
        const auto& request = FParser->get();
        FMethod = std::string(request.method_string());
        FTarget = std::string(request.target());
        const bool hasBody = !FParser->is_done();
        if (FTarget.size() > kMaxTargetBytes)
            return Reply(414, JsonError("the address is too long"), true);

        const http::verb method = request.method();
        std::string name;
        if (method == http::verb::post && FTarget == "/image")
            return StartUpload();
        if (method != http::verb::get && method != http::verb::head) {
            if (method == http::verb::post)
                return Reply(404, JsonError("request not served"), true);
            return Reply(405, JsonError("the method is not served"), true,
                         {{http::field::allow, "GET, HEAD, POST"}});
        }
        // A GET carries no body; one that does is answered and the connection closed.
        if (IsPicturePath(FTarget, name))
            return ServePicture(name, hasBody);
        if (FTarget == "/api.init.php" || FTarget.rfind("/api.init.php?", 0) == 0)
            return ServeUpdate(hasBody);
        if (FTarget == "/stats") {
            if (!Authorized(true))
                return Refuse401();
            return Reply(200, Context().Counts.Json(), hasBody);
        }
        return Reply(404, JsonError("request not served"), hasBody);
    }

    // With keys, a request must carry one of them; without keys, uploads are open (the
    // server refused to start where that was not asked for) and the counts are only told
    // to this machine.
    bool Authorized(bool counts) {
        if (Context().Keys) {
            const auto name = Context().Keys->Match(
                BearerToken(std::string(FParser->get()[http::field::authorization])));
            if (!name)
                return false;
            FKeyName = *name;
            return true;
        }
        if (!counts)
            return true;
        return IsLoopbackAddress(FClient) || FClient.rfind("::ffff:127.", 0) == 0;
    }

    void Refuse401() {
        Reply(401, JsonError("a valid upload key is needed"), true,
              {{http::field::www_authenticate, "Bearer"}});
    }

    void ServeUpdate(bool close) {
        const auto& request = FParser->get();
        Context().Counts.Count(request["User-Command"] == "hold",
                               std::string(request["User-Union"]));
        bool found = false;
        const std::string admin = ReadFile(Context().UpdateFile, found);
        const auto reply = found ? BuildUpdateReply(admin) : std::optional<std::string>("{}");
        if (!reply) {
            LogError(Context().UpdateFile + " is not a JSON object");
            return Reply(500, JsonError("update.json is not a JSON object"), close);
        }
        Reply(200, *reply, close, {}, "application/json; charset=utf-8");
    }

    void ServePicture(const std::string& name, bool close) {
        const auto path = Context().Images->PathOf(name);
        http::file_body::value_type file;
        beast::error_code ec;
        if (path)
            file.open(path->c_str(), beast::file_mode::scan, ec);
        if (!path || ec)
            return Reply(404, JsonError("no such picture"), close);
        const auto size = file.size();
        auto response = std::make_shared<http::response<http::file_body>>(
            std::piecewise_construct, std::make_tuple(std::move(file)),
            std::make_tuple(http::status::ok, FParser->get().version()));
        response->set(http::field::content_type, "image/png");
        SafetyHeaders(*response);
        response->content_length(size);
        const bool head = FParser->get().method() == http::verb::head;
        if (head) {
            // The length of the picture, without its bytes.
            auto empty = std::make_shared<http::response<http::empty_body>>(
                http::status::ok, FParser->get().version());
            empty->set(http::field::content_type, "image/png");
            SafetyHeaders(*empty);
            empty->content_length(size);
            return Send(empty, close, 0);
        }
        Send(response, close, size);
    }

    template <class Body> static void SafetyHeaders(http::response<Body>& response) {
        response.set("X-Content-Type-Options", "nosniff");
        response.set("Content-Security-Policy", "default-src 'none'");
        response.set(http::field::cache_control, "private, max-age=86400");
    }

    // ---- uploads ----

    void StartUpload() {
        if (!Authorized(false))
            return Refuse401();
        const auto& request = FParser->get();
        const auto boundary = MultipartBoundary(std::string(request[http::field::content_type]));
        if (!boundary)
            return Reply(400, JsonError("the upload needs a multipart field named file"), true);
        const auto length = FParser->content_length();
        if (!length && !FParser->chunked())
            return Reply(411, JsonError("the upload needs a length or chunked framing"), true);
        if (length && *length > kMaxBodyBytes)
            return Reply(413, JsonError("the picture is larger than 50 MB"), true);
        const std::uint64_t maxStore = Context().Options.MaxStore;
        // The form's heads and boundaries are not stored: only what must be the picture
        // counts against the room left.
        const std::uint64_t least = length && *length > kMaxBodyBytes - kMaxImageBytes
                                        ? *length - (kMaxBodyBytes - kMaxImageBytes)
                                        : 0;
        if (maxStore != 0 && Context().Images->StoredBytes() + least > maxStore)
            return Reply(507, JsonError("the server's store is full"), true);
        std::string why;
        FPart = Context().Images->Begin(why);
        if (!FPart) {
            LogError(why);
            return Reply(500, JsonError("cannot store the picture"), true);
        }
        FUploadStatus = 0;
        FHead.clear();
        FForm.emplace(*boundary, "file", [this](std::string_view bytes) { return Take(bytes); });
        FUploadDeadline = TClock::now() + std::chrono::seconds(Limits().UploadSeconds);
        if (beast::iequals(request[http::field::expect], "100-continue")) {
            auto go = std::make_shared<http::response<http::empty_body>>(http::status::continue_,
                                                                         request.version());
            http::async_write(
                FStream, *go,
                [self = this->shared_from_this(), go](beast::error_code ec, std::size_t) {
                    if (ec)
                        return self->Close();
                    self->ReadBody();
                });
            return;
        }
        ReadBody();
    }

    // The picture's bytes as they arrive: its head is checked at once, and every byte past
    // the limit or the store's room ends the upload.
    bool Take(std::string_view bytes) {
        if (FHead.size() < 33) {
            FHead.append(bytes.substr(0, 33 - FHead.size()));
            if (FHead.size() == 33 && !IsRealPng(FHead)) {
                FUploadStatus = 415;
                return false;
            }
        }
        if (FPart->Size + bytes.size() > kMaxImageBytes) {
            FUploadStatus = 413;
            return false;
        }
        const std::uint64_t maxStore = Context().Options.MaxStore;
        if (maxStore != 0 &&
            Context().Images->StoredBytes() + FPart->Size + bytes.size() > maxStore) {
            FUploadStatus = 507;
            return false;
        }
        if (!Context().Images->Write(*FPart, bytes.data(), bytes.size())) {
            LogError("cannot write " + FPart->Path + ": " + std::strerror(errno));
            FUploadStatus = errno == ENOSPC ? 507 : 500;
            return false;
        }
        return true;
    }

    void ReadBody() {
        auto& body = FParser->get().body();
        body.data = FChunk.data();
        body.size = FChunk.size();
        const auto left = FUploadDeadline - TClock::now();
        const auto idle = std::chrono::seconds(Limits().BodyIdleSeconds);
        if (left <= TClock::duration::zero())
            return FailUpload(408, "the upload took too long");
        Lowest().expires_after(std::min<TClock::duration>(idle, left));
        http::async_read_some(FStream, FBuffer, *FParser,
                              [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                                  self->OnBody(ec);
                              });
    }

    void OnBody(beast::error_code ec) {
        if (ec == http::error::need_buffer)
            ec = {};
        if (ec == http::error::body_limit)
            return FailUpload(413, "the picture is larger than 50 MB");
        if (ec == beast::error::timeout)
            return FailUpload(408, "the upload stopped arriving");
        if (ec) {
            // The client went away or sent a broken framing: nothing to answer.
            Log(FMethod, FTarget, 400, 0);
            Context().Images->Discard(*FPart);
            FPart.reset();
            return Close();
        }
        const std::size_t got = FChunk.size() - FParser->get().body().size;
        if (FForm->Feed(std::string_view(FChunk.data(), got)) == TMultipartStream::TState::Failed) {
            switch (FUploadStatus) {
            case 413:
                return FailUpload(413, "the picture is larger than 50 MB");
            case 415:
                return FailUpload(415, "the file is not a PNG picture");
            case 507:
                return FailUpload(507, "the server's store is full");
            case 500:
                return FailUpload(500, "cannot store the picture");
            default:
                return FailUpload(400, FForm->Error());
            }
        }
        if (!FParser->is_done())
            return ReadBody();
        if (FForm->State() != TMultipartStream::TState::Done)
            return FailUpload(400, FForm->FoundField()
                                       ? "the upload ends inside its form"
                                       : "the upload needs a multipart field named file");
        // Decoding a large picture takes a while: it is done off the network threads.
        Lowest().expires_never();
        asio::post(FShared.Checks, [self = this->shared_from_this()] { self->CheckUpload(); });
    }

    void CheckUpload() {
        std::string why;
        int status = 200;
        std::string reply;
        if (!DecodesAsWholePng(FPart->Path, why)) {
            status = 415;
            reply = JsonError(why);
        } else if (Context().Options.MaxStore != 0 &&
                   Context().Images->StoredBytes() + FPart->Size > Context().Options.MaxStore) {
            status = 507;
            reply = JsonError("the server's store is full");
        } else if (const auto name = Context().Images->Commit(*FPart, why)) {
            reply = "{\"status\":\"success\",\"url\":\"" +
                    JsonString(Context().AddressBase + "/i/" + *name + ".png") + "\"}";
        } else {
            LogError(why);
            status = 500;
            reply = JsonError("cannot store the picture");
        }
        asio::dispatch(Lowest().get_executor(), [self = this->shared_from_this(), status, reply] {
            if (status == 200)
                self->FPart.reset();
            self->FailOrAnswer(status, reply);
        });
    }

    void FailOrAnswer(int status, const std::string& reply) {
        if (status != 200 && FPart) {
            Context().Images->Discard(*FPart);
            FPart.reset();
        }
        Reply(status, reply, status != 200);
    }

    void FailUpload(int status, const std::string& message) {
        Context().Images->Discard(*FPart);
        FPart.reset();
        Reply(status, JsonError(message), true);
    }

    // ---- replies ----

    void Reply(int status, const std::string& body, bool close,
               std::initializer_list<std::pair<http::field, const char*>> headers = {},
               const char* type = "application/json") {
        const unsigned version =
            FParser && FParser->is_header_done() ? FParser->get().version() : 11;
        auto response = std::make_shared<http::response<http::string_body>>(
            static_cast<http::status>(status), version);
        response->set(http::field::server, "quorvel-server");
        response->set(http::field::content_type, type);
        response->set("X-Content-Type-Options", "nosniff");
        for (const auto& [field, value] : headers)
            response->set(field, value);
        if (!(FParser && FParser->is_header_done() && FParser->get().method() == http::verb::head))
            response->body() = body;
        response->content_length(body.size());
        Send(response, close, body.size());
    }

    template <class Response>
    void Send(const std::shared_ptr<Response>& response, bool close, std::uint64_t bytes) {
        const bool keep = !close && FParser && FParser->is_header_done() &&
                          FParser->get().keep_alive() && FServed < kMaxRequestsPerConnection;
        response->keep_alive(keep);
        Log(FMethod.empty() ? "-" : FMethod, FTarget.empty() ? "-" : FTarget,
            static_cast<int>(response->result_int()), bytes);
        Lowest().expires_after(std::chrono::seconds(Limits().WriteSeconds));
        http::async_write(
            FStream, *response,
            [self = this->shared_from_this(), response, keep](beast::error_code ec, std::size_t) {
                if (ec || !keep)
                    return self->Close();
                self->FMethod.clear();
                self->FTarget.clear();
                self->ReadHead();
            });
    }

    void Log(const std::string& method, const std::string& target, int status,
             std::uint64_t bytes) {
        LogAccess({FClient, method, target, status, bytes, FKeyName});
    }

    void Close() {
        if constexpr (kTls) {
            Lowest().expires_after(std::chrono::seconds(2));
            FStream.async_shutdown(
                [self = this->shared_from_this()](beast::error_code) { self->Lowest().close(); });
        } else {
            beast::error_code ignored;
            Lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
            Lowest().close();
        }
    }

    TShared FShared;
    std::string FClient;
    Stream FStream;
    beast::flat_buffer FBuffer{kMaxHeaderBytes + kBodyChunk};
    std::optional<http::request_parser<http::buffer_body>> FParser;
    std::array<char, kBodyChunk> FChunk{};
    std::string FMethod, FTarget, FKeyName;
    int FServed = 0;
    std::optional<TPartFile> FPart;
    std::optional<TMultipartStream> FForm;
    std::string FHead;
    int FUploadStatus = 0;
    TClock::time_point FUploadDeadline{};
};

class TListener : public std::enable_shared_from_this<TListener> {
public:
    TListener(asio::io_context& io, TShared shared, ssl::context* tls)
        : FIo(io), FShared(shared), FTls(tls), FAcceptor(io) {}

    // Binds and listens; false with the reason. SO_REUSEADDR only: a second server on a
    // port in use fails here instead of silently sharing the port.
    bool Open(const tcp::endpoint& at, std::string& why) {
        beast::error_code ec;
        FAcceptor.open(at.protocol(), ec);
        if (!ec)
            FAcceptor.set_option(asio::socket_base::reuse_address(true), ec);
        if (!ec)
            FAcceptor.bind(at, ec);
        if (ec == asio::error::address_in_use) {
            why = "another program already listens on this port";
            return false;
        }
        if (!ec)
            FAcceptor.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            why = ec.message();
            return false;
        }
        return true;
    }
    int Port() const { return FAcceptor.local_endpoint().port(); }

    void Accept() {
        FAcceptor.async_accept(
            asio::make_strand(FIo),
            [self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
                self->OnAccept(ec, std::move(socket));
            });
    }
    void Stop() {
        beast::error_code ignored;
        FAcceptor.close(ignored);
    }

private:
    void OnAccept(beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (!ec) {
            beast::error_code ignored;
            const auto peer = socket.remote_endpoint(ignored);
            std::string client = ignored ? std::string("-") : peer.address().to_string();
            if (FShared.Connections.load() >= FShared.Context.Options.MaxConnections) {
                // Full: a short answer without waiting on the client, then the door.
                static const char busy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: "
                                           "0\r\nConnection: close\r\nRetry-After: 5\r\n\r\n";
                ::send(socket.native_handle(), busy, sizeof busy - 1, MSG_DONTWAIT | MSG_NOSIGNAL);
                LogAccess({client, "-", "-", 503, 0, {}});
                socket.close(ignored);
            } else if (FTls != nullptr) {
                std::make_shared<TSession<beast::ssl_stream<beast::tcp_stream>>>(
                    FShared, std::move(client), std::move(socket), *FTls)
                    ->Start();
            } else {
                std::make_shared<TSession<beast::tcp_stream>>(FShared, std::move(client),
                                                              std::move(socket))
                    ->Start();
            }
        } else if (ec == asio::error::no_descriptors) {
            LogError("out of file descriptors; accepting again in a second");
            auto timer = std::make_shared<asio::steady_timer>(FIo, std::chrono::seconds(1));
            timer->async_wait(
                [self = shared_from_this(), timer](beast::error_code) { self->Accept(); });
            return;
        } else {
            LogError("accept: " + ec.message());
        }
        Accept();
    }

    asio::io_context& FIo;
    TShared FShared;
    ssl::context* FTls;
    tcp::acceptor FAcceptor;
};

// Deletes pictures older than the kept days, now and every hour.
void SweepEveryHour(const std::shared_ptr<asio::steady_timer>& timer, TServerContext& context) {
    const auto cutoff =
        std::chrono::system_clock::now() - std::chrono::hours(24 * context.Options.KeepDays);
    const int removed = context.Images->DeleteOlderThan(
        std::chrono::duration_cast<std::chrono::seconds>(cutoff.time_since_epoch()).count());
    if (removed > 0)
        LogNote("deleted " + std::to_string(removed) + " pictures older than " +
                std::to_string(context.Options.KeepDays) + " days");
    timer->expires_after(std::chrono::hours(1));
    timer->async_wait([timer, &context](beast::error_code ec) {
        if (!ec)
            SweepEveryHour(timer, context);
    });
}

} // namespace

int RunHttpServer(TServerContext& context) {
    const TServerOptions& options = context.Options;
    std::unique_ptr<ssl::context> tls;
    if (!options.TlsCert.empty()) {
        tls = std::make_unique<ssl::context>(ssl::context::tls_server);
        tls->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                         ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                         ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
        beast::error_code ec;
        tls->use_certificate_chain_file(options.TlsCert, ec);
        if (ec) {
            std::cerr << "quorvel-server: cannot use the certificate " << options.TlsCert << ": "
                      << ec.message() << "\n";
            return 1;
        }
        tls->use_private_key_file(options.TlsKey, ssl::context::pem, ec);
        if (ec) {
            std::cerr << "quorvel-server: cannot use the key " << options.TlsKey << ": "
                      << ec.message() << "\n";
            return 1;
        }
    }

    beast::error_code ec;
    const auto address =
        asio::ip::make_address(options.Address == "localhost" ? "127.0.0.1" : options.Address, ec);
    if (ec) {
        std::cerr << "quorvel-server: " << options.Address << " is not an IP address\n";
        return 1;
    }
    // What the connections share outlives the I/O context: when the context goes, it
    // destroys the handlers still queued, and with them the last connections, which let go
    // of their count and their place in the check pool then.
    asio::thread_pool checks(kCheckThreads);
    std::atomic<int> connections{0};
    TShared shared{context, checks, connections};
    asio::io_context io(kIoThreads);
    auto listener = std::make_shared<TListener>(io, shared, tls.get());
    std::string why;
    if (!listener->Open(tcp::endpoint(address, static_cast<unsigned short>(options.Port)), why)) {
        std::cerr << "quorvel-server: cannot listen on " << options.Address << ":" << options.Port
                  << ": " << why << "\n";
        return 1;
    }
    context.Options.Port = listener->Port();
    if (context.AddressBase.empty())
        context.AddressBase = AddressBase(context.Options, asio::ip::host_name());

    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](beast::error_code, int) {
        listener->Stop();
        io.stop();
    });
    std::shared_ptr<asio::steady_timer> sweep;
    if (options.KeepDays > 0) {
        sweep = std::make_shared<asio::steady_timer>(io);
        SweepEveryHour(sweep, context);
    }
    listener->Accept();
    std::cout << "quorvel-server: listening on " << options.Address << ":" << listener->Port()
              << std::endl;
    LogNote(std::string("serving ") + (tls ? "HTTPS" : "HTTP") + " on " + options.Address + ":" +
            std::to_string(listener->Port()) + ", addresses start " + context.AddressBase +
            (context.Keys ? ", uploads need a key" : ", uploads need no key"));

    std::vector<std::thread> threads;
    for (int i = 1; i < kIoThreads; ++i)
        threads.emplace_back([&io] { io.run(); });
    io.run();
    for (std::thread& t : threads)
        t.join();
    // The checks under way finish (their answers wait in the stopped context); none is left
    // queued to be destroyed after the context that its connection belongs to.
    checks.join();
    LogNote("stopped");
    return 0;
}

} // namespace quorvel::server
