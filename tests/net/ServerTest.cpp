// quorvel-server as a program: started on a free loopback port, fed real uploads, update
// checks and garbage, and stopped with SIGTERM.

#include "TempFolder.h"
#include "net/TestCertificates.h"
#include "sinks/Save.h"
#include "sinks/Upload.h"
#include "support/CurlGlobal.h"
#include "support/HttpGet.h"
#include "support/UpdateProtocol.h"
#include "tools/server/ImageStore.h"
#include "tools/server/MultipartStream.h"
#include "tools/server/ServerOptions.h"
#include "tools/server/UpdateReply.h"
#include "tools/server/UploadKeys.h"

#include <QImage>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quorvel;

namespace {

class TServerProcess {
public:
    // Starts the server on a free loopback port (unless the arguments name another address),
    // its standard error going to `log` when given.
    explicit TServerProcess(const std::string& data, std::vector<std::string> extra = {},
                            const std::string& log = {}) {
        std::vector<std::string> args = {QUORVEL_SERVER_BIN, "--data", data};
        bool listen = false;
        for (const std::string& arg : extra)
            listen = listen || arg == "--listen";
        if (!listen)
            extra.insert(extra.begin(), {"--listen", "127.0.0.1:0"});
        args.insert(args.end(), extra.begin(), extra.end());
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            if (!log.empty()) {
                const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
                ::dup2(fd, 2);
            }
            std::vector<char*> argv;
            for (std::string& arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        const std::size_t colon = line.rfind(':');
        FPort = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
    }
    ~TServerProcess() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    // SIGTERM, then the exit status; -1 when it did not end within five seconds.
    int Terminate() {
        ::kill(FPid, SIGTERM);
        return Wait();
    }
    // The exit status once it has ended; -1 when it did not end within five seconds.
    int Wait() {
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (::waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    // The most memory the server has held, in kB.
    long PeakMemoryKb() const {
        std::ifstream status("/proc/" + std::to_string(FPid) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmHWM:", 0) == 0)
                return std::atol(line.c_str() + 6);
        return -1;
    }
    int Port() const { return FPort; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(FPort); }

private:
    pid_t FPid = -1;
    int FPort = 0;
};

std::size_t Append(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// A GET or a multipart POST of raw bytes with libcurl; the status and the body.
std::pair<long, std::string> Fetch(const std::string& url, const std::string* upload = nullptr) {
    CURL* curl = ::curl_easy_init();
    std::string body;
    ::curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    ::curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    ::curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_mime* mime = nullptr;
    if (upload != nullptr) {
        mime = ::curl_mime_init(curl);
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, "file");
        curl_mime_filename(part, "x.png");
        curl_mime_data(part, upload->data(), upload->size());
        ::curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    }
    long status = 0;
    if (::curl_easy_perform(curl) == CURLE_OK)
        ::curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    ::curl_mime_free(mime);
    ::curl_easy_cleanup(curl);
    return {status, body};
}

std::vector<std::uint8_t> CapturePng(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 3, y * 5, (x ^ y) & 0xFF));
    return BitmapToPNGBytes(image);
}

TUploadOptions WithKey(const std::string& key) {
    TUploadOptions options;
    options.Key = key;
    return options;
}

// A connection to the server on loopback; -1 when none.
int Connect(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

// Sends the bytes, then reads the answer until the server closes (at most ten seconds).
std::string Exchange(int port, const std::string& request) {
    const int s = Connect(port);
    if (s < 0)
        return {};
    timeval wait{10, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::send(s, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0)
        answer.append(buffer, static_cast<std::size_t>(n));
    ::close(s);
    return answer;
}

// A request's status with libcurl, with extra headers and optionally a chunked upload of
// `chunkedBytes` zero bytes (read as they are sent, never held whole).
long Status(const std::string& url, const std::vector<std::string>& headers,
            std::size_t chunkedBytes = 0) {
    CURL* curl = ::curl_easy_init();
    std::string body;
    curl_slist* list = nullptr;
    for (const std::string& h : headers)
        list = ::curl_slist_append(list, h.c_str());
    std::size_t left = chunkedBytes;
    if (chunkedBytes > 0) {
        list = ::curl_slist_append(list, "Transfer-Encoding: chunked");
        list = ::curl_slist_append(list, "Content-Type: multipart/form-data; boundary=B");
        ::curl_easy_setopt(curl, CURLOPT_POST, 1L);
        ::curl_easy_setopt(curl, CURLOPT_READDATA, &left);
        ::curl_easy_setopt(
            curl, CURLOPT_READFUNCTION,
            +[](char* out, std::size_t size, std::size_t n, void* user) {
                auto& rest = *static_cast<std::size_t*>(user);
                const std::size_t give = std::min(rest, size * n);
                std::memset(out, 0, give);
                rest -= give;
                return give;
            });
    }
    ::curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    ::curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    ::curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    ::curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    ::curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    long status = 0;
    if (::curl_easy_perform(curl) == CURLE_OK)
        ::curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    ::curl_slist_free_all(list);
    ::curl_easy_cleanup(curl);
    return status;
}

// The server's run with the arguments, to its end: the exit status and standard error.
std::pair<int, std::string> RunToEnd(const std::vector<std::string>& args, const std::string& log) {
    std::string command = std::string(QUORVEL_SERVER_BIN);
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    const int status = std::system(("timeout 10 " + command + " >/dev/null 2>" + log).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFileBytes(log)};
}

std::size_t StoredFiles(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        n += entry.is_regular_file() ? 1 : 0;
    return n;
}

} // namespace

TEST(ServerParts, PngCheckAndNamesAndEscapes) {
    const std::vector<std::uint8_t> png = CapturePng(3, 2);
    std::string data(png.begin(), png.end());
    EXPECT_TRUE(server::IsRealPng(data));
    std::string badCrc = data;
    badCrc[29] ^= 1;
    EXPECT_FALSE(server::IsRealPng(badCrc));
    std::string badDepth = data;
    badDepth[24] = 3;
    EXPECT_FALSE(server::IsRealPng(badDepth));
    EXPECT_FALSE(server::IsRealPng(data.substr(0, 20)));
    EXPECT_FALSE(server::IsRealPng("GIF89a" + data));

    const std::string name = server::NewImageName();
    EXPECT_TRUE(server::IsImageName(name));
    EXPECT_NE(server::NewImageName(), name);
    EXPECT_FALSE(server::IsImageName("../" + name.substr(3)));
    EXPECT_FALSE(server::IsImageName(name.substr(1) + "G"));

    EXPECT_EQ(server::JsonString("a/b\"c}{"), "a\\/b\\\"c\\u007d\\u007b");
    EXPECT_EQ(
        server::BuildUpdateReply(
            "{ \"update\" : \"http://h/d\",\n \"info\": {\"style\": \"hold\", \"text\": \"x}y\", "
            "\"count\": 3} }"),
        "{\"update\":\"http:\\/\\/h\\/d\",\"info\":{\"style\":\"hold\",\"text\":\"x\\u007dy\"}}");
    EXPECT_FALSE(server::BuildUpdateReply("[1]"));
}

TEST(ServerParts, TheFormReaderFindsTheFileHoweverTheBodyIsCut) {
    const std::string boundary = "-------QuorvelUploader0123456789ABCDEF";
    // Content that holds a near-boundary and line ends, after a field of another name.
    const std::string content = "\x89PNG\r\n--" + boundary.substr(0, 20) + "\r\n\r\nend";
    const std::string body = "--" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhi\r\n--" +
                             boundary +
                             "\r\ncontent-disposition: form-data; name=file; filename=\"a.png\"\r\n"
                             "Content-Type: image/png\r\n\r\n" +
                             content + "\r\n--" + boundary + "--\r\n";
    for (std::size_t piece :
         {std::size_t(1), std::size_t(2), std::size_t(7), std::size_t(64), body.size()}) {
        std::string got;
        server::TMultipartStream form(boundary, "file", [&](std::string_view bytes) {
            got.append(bytes);
            return true;
        });
        for (std::size_t at = 0; at < body.size(); at += piece)
            form.Feed(std::string_view(body).substr(at, piece));
        EXPECT_EQ(form.State(), server::TMultipartStream::TState::Done) << piece;
        EXPECT_EQ(got, content) << piece;
    }
    const auto outcome = [&](const std::string& text) {
        server::TMultipartStream form(boundary, "file", [](std::string_view) { return true; });
        return form.Feed(text);
    };
    using TState = server::TMultipartStream::TState;
    EXPECT_EQ(outcome("--" + boundary +
                      "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\n1\r\n--" + boundary +
                      "--"),
              TState::Failed); // no field named file
    EXPECT_EQ(outcome("--" + boundary + "\r\n" + std::string(9000, 'h')), TState::Failed);
    EXPECT_EQ(outcome("--" + boundary +
                      "\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\n" +
                      std::string(100, 'x')),
              TState::Running); // the content is still arriving
    EXPECT_EQ(server::MultipartBoundary("multipart/form-data; boundary=\"a b\""), "a b");
    EXPECT_FALSE(server::MultipartBoundary("text/plain; boundary=x"));
    EXPECT_FALSE(server::MultipartBoundary("multipart/form-data"));
}

TEST(ServerParts, OptionsAndKeys) {
    const auto options = server::ParseServerOptions(
        {"--data", "d", "--listen", "[::]:443", "--keys", "k", "--tls-cert", "c", "--tls-key", "p",
         "--keep-days", "30", "--max-store", "20G", "--public-url",
         "https://shots.example.org/q/"});
    EXPECT_EQ(options.Address, "::");
    EXPECT_EQ(options.Port, 443);
    EXPECT_EQ(options.MaxStore, 20ull << 30);
    EXPECT_EQ(server::AddressBase(options, "h"), "https://shots.example.org/q");
    EXPECT_EQ(server::RefusalToStart(options), "");
    auto plain = server::ParseServerOptions({"--data", "d", "--listen", "[::]:8080"});
    EXPECT_EQ(server::AddressBase(plain, "box"), "http://box:8080");
    EXPECT_NE(server::RefusalToStart(plain), "");
    plain.Address = "::1";
    EXPECT_EQ(server::AddressBase(plain, "box"), "http://[::1]:8080");
    EXPECT_EQ(server::RefusalToStart(plain), "");
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--listen", "1.2.3.4:1"},
                                               {"--data", "d", "--tls-cert", "c"},
                                               {"--data", "d", "--max-store", "12Q"},
                                               {"--data", "d", "--keep-days", "0"},
                                               {"--data", "d", "--public-url", "javascript:x"},
                                               {"--data", "d", "--listen", "::1:80"},
                                               {"--data"}})
        EXPECT_THROW(server::ParseServerOptions(bad), server::EUsage) << bad.back();

    std::vector<std::string> problems;
    const auto keys = server::ParseKeys(
        "# comment\n\n  0123456789abcdef0  carol \r\nshort\n0123456789abcdef1\n", problems);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].Name, "carol");
    EXPECT_EQ(keys[1].Name.rfind("sha256:", 0), 0u);
    EXPECT_EQ(problems.size(), 1u);
    EXPECT_EQ(server::BearerToken("Bearer  abc "), "abc");
    EXPECT_EQ(server::BearerToken("Basic abc"), "");
}

TEST(QuorvelServer, StoresAndServesUploadsAndAnswersUpdateChecks) {
    test::TTempFolder data;
    TServerProcess server(data.Path().string());
    ASSERT_GT(server.Port(), 0);

    // The program's own upload: the stored file and the served picture equal the PNG.
    const std::vector<std::uint8_t> png = CapturePng(200, 100);
    const std::string url = PostUpload({"127.0.0.1", server.Port()}, png,
                                       "-------QuorvelUploader0123456789ABCDEF", nullptr);
    ASSERT_EQ(url.rfind(server.Base() + "/i/", 0), 0u) << url;
    const auto [status, served] = Fetch(url);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(served, std::string(png.begin(), png.end()));
    const std::string name = url.substr(url.size() - 36, 32);
    EXPECT_EQ(test::ReadFileBytes((data.Path() / "images" / (name + ".png")).string()), served);

    // Anything but a PNG is refused and stores nothing; no path leads out of the folder.
    const std::string text = "not a picture";
    EXPECT_EQ(Fetch(server.Base() + "/image", &text).first, 415);
    EXPECT_EQ(Fetch(server.Base() + "/image").first, 404);
    std::string huge(png.begin(), png.end());
    huge.resize(server::kMaxImageBytes + 1, '\0'); // a real PNG head, one byte too many
    EXPECT_EQ(Fetch(server.Base() + "/image", &huge).first, 413);
    huge.resize(server::kMaxImageBytes + 200 * 1024, '\0');
    EXPECT_EQ(Fetch(server.Base() + "/image", &huge).first, 413);
    EXPECT_EQ(StoredFiles(data.Path() / "images"), 1u);
    data.Touch("secret.png", "x");
    EXPECT_EQ(Fetch(server.Base() + "/i/../secret.png").first, 404);
    EXPECT_EQ(Fetch(server.Base() + "/i/%2e%2e%2fsecret.png").first, 404);
    EXPECT_EQ(Fetch(server.Base() + "/i/" + std::string(32, '0') + ".png").first, 404);

    // The update reply, read as the program reads it, whatever the administrator's layout.
    std::u16string reply;
    ASSERT_TRUE(HttpGetText(server.Base() + "/api.init.php",
                            CheckHeaders("4.0.1.0", "en", true, "A"), reply));
    EXPECT_EQ(reply, u"{}");
    std::ofstream(data.File("update.json"))
        << "{\n  \"update\": \"http://h/d\",\n  \"info\": {\"style\": \"note\", \"text\": \"a}b\", "
           "\"url\": \"http://h/n\"}\n}\n";
    ASSERT_TRUE(HttpGetText(server.Base() + "/api.init.php",
                            CheckHeaders("4.0.1.0", "en", true, "B"), reply));
    const TUpdateReply fields = ParseUpdateReply(reply);
    EXPECT_EQ(fields.Update, u"http://h/d");
    EXPECT_EQ(fields.Text, u"a}b");
    EXPECT_EQ(fields.Url, u"http://h/n");
    ASSERT_TRUE(HttpGetText(server.Base() + "/api.init.php",
                            CheckHeaders("4.0.1.0", "en", true, "A"), reply));
    ASSERT_TRUE(HttpGetText(server.Base() + "/api.init.php", HoldHeaders("4.0.1.0"), reply));
    EXPECT_EQ(Fetch(server.Base() + "/stats").second, "{\"hold\":1,\"installations\":2}");

    EXPECT_EQ(server.Terminate(), 0);
}

TEST(QuorvelServer, KeepsServingUnderParallelUploadsAndGarbage) {
    test::TTempFolder data;
    TServerProcess server(data.Path().string());
    ASSERT_GT(server.Port(), 0);

    // Garbage on the socket first.
    for (const char* junk : {"\x16\x03\x01 hello\r\n\r\n",
                             "POST /image HTTP/1.0\r\nContent-Length: 99999999999\r\n\r\n",
                             "GET /"
                             "\x01\x02 HTTP/1.1\r\n\r\n"}) {
        const int s = Connect(server.Port());
        ASSERT_GE(s, 0);
        ::send(s, junk, std::strlen(junk), MSG_NOSIGNAL);
        ::shutdown(s, SHUT_WR);
        char buffer[256];
        while (::recv(s, buffer, sizeof buffer, 0) > 0) {
        }
        ::close(s);
    }

    const std::vector<std::uint8_t> png = CapturePng(64, 64);
    std::vector<std::future<std::string>> uploads;
    for (int i = 0; i < 50; ++i)
        uploads.push_back(std::async(std::launch::async, [&] {
            return PostUpload({"127.0.0.1", server.Port()}, png,
                              "-------QuorvelUploader0000000000000000", nullptr);
        }));
    std::set<std::string> addresses;
    for (auto& f : uploads)
        addresses.insert(f.get());
    EXPECT_EQ(addresses.size(), 50u);
    EXPECT_EQ(addresses.count(""), 0u);
    EXPECT_EQ(StoredFiles(data.Path() / "images"), 50u);
    EXPECT_EQ(server.Terminate(), 0);
}

TEST(QuorvelServer, KeysGuardUploadsAndTheCountsAndNeverReachTheLog) {
    test::TTempFolder data;
    const std::string key = "team-key-0123456789abcdef";
    const std::string keys = data.Touch("keys", "# the team\n" + key + "  alice\nshort\n");
    const std::string log = data.File("server.log");
    TServerProcess server(data.File("d"), {"--keys", keys}, log);
    ASSERT_GT(server.Port(), 0);
    const TUploadServer at{"127.0.0.1", server.Port()};
    const std::vector<std::uint8_t> png = CapturePng(40, 30);
    const std::string boundary = "-------QuorvelUploader0123456789ABCDEF";

    // No key, a wrong key: refused, nothing stored.
    EXPECT_EQ(PostUpload(at, png, boundary, nullptr), "");
    EXPECT_EQ(PostUpload(at, png, boundary, nullptr, WithKey(key + "x")), "");
    EXPECT_EQ(Status(server.Base() + "/image", {"Authorization: Bearer nope-nope-nope-nope"}, 100),
              401);
    EXPECT_EQ(StoredFiles(data.Path() / "d" / "images"), 0u);
    const std::string url = PostUpload(at, png, boundary, nullptr, WithKey(key));
    EXPECT_EQ(url.rfind(server.Base() + "/i/", 0), 0u) << url;
    EXPECT_EQ(StoredFiles(data.Path() / "d" / "images"), 1u);
    EXPECT_EQ(Status(server.Base() + "/stats", {}), 401);
    EXPECT_EQ(Status(server.Base() + "/stats", {"Authorization: Bearer " + key}), 200);

    // A key taken out of the file stops working without a restart.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ofstream(keys) << "other-key-0123456789abcdef bob\n";
    EXPECT_EQ(PostUpload(at, png, boundary, nullptr, WithKey(key)), "");
    EXPECT_EQ(StoredFiles(data.Path() / "d" / "images"), 1u);

    EXPECT_EQ(server.Terminate(), 0);
    const std::string lines = test::ReadFileBytes(log);
    EXPECT_NE(lines.find(" 127.0.0.1 POST /image 200 "), std::string::npos) << lines;
    EXPECT_NE(lines.find(" alice\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(" 127.0.0.1 POST /image 401 "), std::string::npos) << lines;
    EXPECT_NE(lines.find("line 3"), std::string::npos) << "the short key is reported";
    EXPECT_EQ(lines.find(key), std::string::npos) << "a key never reaches the log";
}

TEST(QuorvelServer, ServesHttpsThatTheProgramTrustsThroughAPrivateAuthority) {
    test::TTempFolder data;
    ASSERT_TRUE(test::MakeTestCertificates(data.Path().string()));
    TServerProcess server(data.File("d"), {"--tls-cert", data.File("server.pem"), "--tls-key",
                                           data.File("server.key")});
    ASSERT_GT(server.Port(), 0);
    const TUploadServer at{"127.0.0.1", server.Port(), true};
    const std::vector<std::uint8_t> png = CapturePng(40, 30);
    const std::string boundary = "-------QuorvelUploader0123456789ABCDEF";

    // Not trusted by the system's store alone: nothing is sent.
    SetTrustedCaFile("");
    EXPECT_EQ(PostUpload(at, png, boundary, nullptr), "");
    EXPECT_EQ(StoredFiles(data.Path() / "d" / "images"), 0u);
    // Trusted through the team's authority; the address the server hands out is https.
    SetTrustedCaFile(data.File("ca.pem"));
    const std::string url = PostUpload(at, png, boundary, nullptr);
    SetTrustedCaFile("");
    EXPECT_EQ(url.rfind("https://127.0.0.1:" + std::to_string(server.Port()) + "/i/", 0), 0u)
        << url;
    EXPECT_EQ(StoredFiles(data.Path() / "d" / "images"), 1u);
    // Plain HTTP on the TLS port gets nowhere.
    EXPECT_EQ(PostUpload({"127.0.0.1", server.Port()}, png, boundary, nullptr), "");
    EXPECT_EQ(server.Terminate(), 0);
}

TEST(QuorvelServer, HoldsItsLimitsAgainstHostileClients) {
    test::TTempFolder data;
    TServerProcess server(data.File("d"));
    ASSERT_GT(server.Port(), 0);
    const int port = server.Port();

    // A 600 MB chunked body is refused once it passes the limit, and never held.
    EXPECT_EQ(Status(server.Base() + "/image", {}, 600u * 1024 * 1024), 413);
    // The sanitizers' shadow memory alone outweighs the bound.
    if (std::getenv("QUORVEL_SANITIZED") == nullptr) {
        EXPECT_LT(server.PeakMemoryKb(), 64 * 1024);
    }
    // No framing at all, a method it does not serve, a PUT without a body: answered at once.
    EXPECT_EQ(Exchange(port, "POST /image HTTP/1.1\r\nHost: x\r\nContent-Type: "
                             "multipart/form-data; boundary=B\r\n\r\n")
                  .substr(0, 12),
              "HTTP/1.1 411");
    EXPECT_EQ(Exchange(port, "PUT /image HTTP/1.1\r\nHost: x\r\n\r\n").substr(0, 12),
              "HTTP/1.1 405");
    EXPECT_EQ(Exchange(port, "BREW /pot HTTP/1.1\r\nHost: x\r\n\r\n").substr(0, 12),
              "HTTP/1.1 405");
    // A PNG with a page appended, and a PNG that does not decode, store nothing.
    const std::vector<std::uint8_t> png = CapturePng(40, 30);
    std::string withPage(png.begin(), png.end());
    withPage += "<html><script>alert(1)</script></html>";
    EXPECT_EQ(Fetch(server.Base() + "/image", &withPage).first, 415);
    std::string broken(png.begin(), png.end());
    broken[broken.size() / 2] ^= 0x55;
    EXPECT_EQ(Fetch(server.Base() + "/image", &broken).first, 415);
    EXPECT_EQ(StoredFiles(data.Path() / "d" / "images"), 0u);

    // Sixteen clients sending their heads a byte a second take no one's turn, and are
    // dropped when the head's time is up.
    std::vector<int> slow;
    for (int i = 0; i < 16; ++i) {
        slow.push_back(Connect(port));
        ::send(slow.back(), "G", 1, MSG_NOSIGNAL);
    }
    std::string ok(png.begin(), png.end());
    EXPECT_EQ(Fetch(server.Base() + "/image", &ok).first, 200);
    bool dropped = false;
    for (int second = 0; second < 15 && !dropped; ++second) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        for (int s : slow)
            dropped = ::send(s, "E", 1, MSG_NOSIGNAL) < 0 || dropped;
    }
    EXPECT_TRUE(dropped);
    for (int s : slow)
        ::close(s);
    EXPECT_EQ(server.Terminate(), 0);
}

TEST(QuorvelServer, KeepsItsStoreInBoundsAndServesPicturesInertly) {
    test::TTempFolder data;
    std::filesystem::create_directories(data.Path() / "d" / "images");
    const std::string images = (data.Path() / "d" / "images").string();
    const std::string old = images + "/" + std::string(32, 'a') + ".png";
    const std::string recent = images + "/" + std::string(32, 'b') + ".png";
    const std::string part = images + "/." + std::string(32, 'c') + ".part";
    const std::vector<std::uint8_t> png = CapturePng(40, 30);
    for (const std::string& file : {old, recent, part})
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()),
                   static_cast<std::streamsize>(png.size()));
    const auto tenDaysAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(240);
    std::filesystem::last_write_time(old, tenDaysAgo);

    TServerProcess server(data.File("d"),
                          {"--keep-days", "7", "--max-store", std::to_string(png.size() * 3)});
    ASSERT_GT(server.Port(), 0);
    EXPECT_FALSE(std::filesystem::exists(old));
    EXPECT_FALSE(std::filesystem::exists(part));
    EXPECT_TRUE(std::filesystem::exists(recent));

    // Room for two more pictures beside the kept one, then 507.
    std::string bytes(png.begin(), png.end());
    EXPECT_EQ(Fetch(server.Base() + "/image", &bytes).first, 200);
    EXPECT_EQ(Fetch(server.Base() + "/image", &bytes).first, 200);
    EXPECT_EQ(Fetch(server.Base() + "/image", &bytes).first, 507);
    EXPECT_EQ(StoredFiles(images), 3u);

    const std::string answer =
        Exchange(server.Port(), "GET /i/" + std::string(32, 'b') + ".png HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.0 200");
    EXPECT_NE(answer.find("\r\nX-Content-Type-Options: nosniff\r\n"), std::string::npos);
    EXPECT_NE(answer.find("\r\nContent-Security-Policy: default-src 'none'\r\n"),
              std::string::npos);
    EXPECT_NE(answer.find("\r\nContent-Type: image/png\r\n"), std::string::npos);
    EXPECT_EQ(server.Terminate(), 0);
}

TEST(QuorvelServer, RefusesToStartOpenToTheNetworkOrOnAPortInUse) {
    test::TTempFolder data;
    const std::string log = data.File("err");
    auto [status, text] = RunToEnd({"--data", data.File("d"), "--listen", "0.0.0.0:0"}, log);
    EXPECT_EQ(status, 2);
    EXPECT_NE(text.find("--open"), std::string::npos) << text;

    TServerProcess first(data.File("d"), {"--listen", "0.0.0.0:0", "--open"});
    ASSERT_GT(first.Port(), 0);
    std::tie(status, text) = RunToEnd(
        {"--data", data.File("d2"), "--listen", "127.0.0.1:" + std::to_string(first.Port())}, log);
    EXPECT_EQ(status, 1);
    EXPECT_NE(text.find("already listens"), std::string::npos) << text;
    EXPECT_EQ(first.Terminate(), 0);
}
