// quorvel-server as a program: started on a free loopback port, fed real uploads, update
// checks and garbage, and stopped with SIGTERM.

#include "TempFolder.h"
#include "sinks/Save.h"
#include "sinks/Upload.h"
#include "support/HttpGet.h"
#include "support/UpdateProtocol.h"
#include "tools/server/ImageStore.h"
#include "tools/server/UpdateReply.h"

#include <QImage>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <curl/curl.h>
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
    explicit TServerProcess(const std::string& data) {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::execl(QUORVEL_SERVER_BIN, QUORVEL_SERVER_BIN, "--data", data.c_str(), "--listen",
                    "127.0.0.1:0", static_cast<char*>(nullptr));
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
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_mime* mime = nullptr;
    if (upload != nullptr) {
        mime = curl_mime_init(curl);
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, "file");
        curl_mime_filename(part, "x.png");
        curl_mime_data(part, upload->data(), upload->size());
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    }
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_mime_free(mime);
    curl_easy_cleanup(curl);
    return {status, body};
}

std::vector<std::uint8_t> CapturePng(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 3, y * 5, (x ^ y) & 0xFF));
    return BitmapToPNGBytes(image);
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
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(server.Port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
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
