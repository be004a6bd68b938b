// The upload destination with the real program on a private desktop: a capture goes to
// quorvel-server on the loopback address, and the address it returns is opened in the
// desktop's browser (a recorder script stands in for it).

#include "DesktopSession.h"
#include "TempFolder.h"
#include "net/RawServer.h"
#include "net/TestCertificates.h"

#include <QImage>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>

using quorvel::test::TDesktopSession;

namespace {

class Upload : public testing::Test {
protected:
    void SetUp() override {
        // xdg-open and $BROWSER both record what they were asked to open.
        const std::string bin = session.Root() + "/bin";
        std::filesystem::create_directories(bin);
        recorder = bin + "/xdg-open";
        std::ofstream(recorder) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " << Opened() << "\n";
        ::chmod(recorder.c_str(), 0755);
        env = {"PATH=" + bin + ":" + std::getenv("PATH"), "BROWSER=" + recorder};
    }
    std::string Opened() const { return session.Root() + "/opened.txt"; }
    std::string OpenedText() const {
        std::ifstream in(Opened());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Starts quorvel-server on a free loopback port and returns the port.
    int StartServer() {
        const std::string log = "server.log";
        session.Start({QUORVEL_SERVER_BIN, "--data", session.Root() + "/serverdata", "--listen",
                       "127.0.0.1:0"},
                      log);
        return session.ListeningPort(log);
    }
    void Launch(const std::string& settings) {
        session.WriteSettings("path=" + session.SaveFolder() +
                              "\nsound=1\nmouse=0\narea=0\nsaveto=8\n" + settings);
        ASSERT_TRUE(session.StartQuorvel({"/start"}, env)) << session.QuorvelLog();
    }
    // A capture whose failure message is expected: waits for it and dismisses it.
    std::string FailedCaptureMessage() {
        const pid_t ctl = session.Start(
            {quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
        return FailedCaptureLog(ctl);
    }
    // Waits for the message of the capture that `ctl` asked for, and dismisses it.
    std::string FailedCaptureLog(pid_t ctl) {
        std::string message;
        TDesktopSession::WaitUntil(
            [&] {
                const std::string log = session.QuorvelLog();
                const std::size_t at = log.find("quorvel: message:");
                if (at == std::string::npos)
                    return false;
                message = log.substr(at, log.find('\n', at) - at);
                return true;
            },
            20000);
        EXPECT_TRUE(session.AnswerMessage());
        TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 10000);
        return message;
    }

    TDesktopSession session;
    std::string recorder;
    std::vector<std::string> env;
};

} // namespace

TEST_F(Upload, CaptureGoesToTheServerAndItsAddressOpensInTheBrowser) {
    const int port = StartServer();
    ASSERT_GT(port, 0);
    Launch("upload_host=127.0.0.1:" + std::to_string(port) + "\n");
    const QImage screen = session.Screenshot();

    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return !OpenedText().empty(); }, 10000))
        << session.QuorvelLog();
    std::string address = OpenedText();
    address.pop_back();
    const std::string prefix = "http://127.0.0.1:" + std::to_string(port) + "/i/";
    ASSERT_EQ(address.rfind(prefix, 0), 0u) << address;

    // The opened address serves the stored file, and that is the captured screen.
    const std::string name = address.substr(prefix.size());
    const std::string stored =
        quorvel::test::ReadFileBytes(session.Root() + "/serverdata/images/" + name);
    EXPECT_EQ(session.Output("curl -s " + address), stored);
    QImage uploaded;
    ASSERT_TRUE(uploaded.loadFromData(reinterpret_cast<const uchar*>(stored.data()),
                                      static_cast<int>(stored.size()), "PNG"));
    EXPECT_EQ(uploaded.size(), QSize(1920, 1080));
    int differences = 0;
    QRect where;
    for (int y = 0; y < uploaded.height(); ++y)
        for (int x = 0; x < uploaded.width(); ++x)
            if ((uploaded.pixel(x, y) & 0xFFFFFF) != (screen.pixel(x, y) & 0xFFFFFF)) {
                ++differences;
                where |= QRect(x, y, 1, 1);
            }
    EXPECT_EQ(differences, 0) << where.x() << "," << where.y() << " " << where.width() << "x"
                              << where.height();
    EXPECT_EQ(session.QuorvelLog().find("quorvel: message:"), std::string::npos);
}

TEST_F(Upload, WithoutAServerNothingIsSentAndTheUserIsTold) {
    Launch("");
    EXPECT_EQ(FailedCaptureMessage(),
              "quorvel: message: [Quorvel] Image upload failed.\\r\\rNo upload server is set.");
    EXPECT_EQ(OpenedText(), "");
}

TEST_F(Upload, AnUnreachableServerGivesTheFailureMessage) {
    Launch("upload_host=127.0.0.1:1\n");
    EXPECT_EQ(FailedCaptureMessage(), "quorvel: message: [Quorvel] Image upload failed.");
    EXPECT_EQ(OpenedText(), "");
}

TEST_F(Upload, AcceptedUpdateOpensTheDownloadAndEndsTheProgram) {
    const int port = StartServer();
    ASSERT_GT(port, 0);
    std::ofstream(session.Root() + "/serverdata/update.json")
        << R"({"update": "http://127.0.0.1:)" << port
        << R"(/download", "info": {"style": "hold", "text": "Not now"}})";
    Launch("update_url=http://127.0.0.1:" + std::to_string(port) + "/api.init.php\n");
    // Yes is the default answer.
    ASSERT_TRUE(session.AnswerMessage());
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !OpenedText().empty(); }, 10000));
    EXPECT_EQ(OpenedText(), "http://127.0.0.1:" + std::to_string(port) + "/download\n");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return !TDesktopSession::Alive(session.QuorvelPid()); }, 10000));
    EXPECT_EQ(session.Output("curl -s http://127.0.0.1:" + std::to_string(port) + "/stats"),
              "{\"hold\":0,\"installations\":1}");
}

TEST_F(Upload, DuringTheUploadTheBarShowsAndTheProgramKeepsAnswering) {
    // A server that takes the upload and says nothing until the test lets it fail.
    std::atomic<bool> release{false};
    auto silent = std::make_unique<quorvel::test::TRawServer>(
        [&](int, const std::string&) -> std::optional<std::string> {
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return std::string(); // closes without an answer
        });
    // A panel along the bottom of the desktop: the bar stands right above it.
    session.Start({"trayer", "--edge", "bottom", "--align", "left", "--widthtype", "percent",
                   "--width", "100", "--heighttype", "pixel", "--height", "40", "--SetDockType",
                   "true", "--SetPartialStrut", "true"},
                  "trayer.log");
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.Output("xprop -root _NET_WORKAREA").find(", 1920, 1040") !=
                   std::string::npos;
        },
        10000))
        << session.Output("xprop -root _NET_WORKAREA");
    Launch("upload_host=127.0.0.1:" + std::to_string(silent->Port()) + "\n");
    const pid_t first =
        session.Start({quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl1.log");
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return silent->Count() == 1; }, 10000));

    // The red bar across the screen, right above the panel.
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            const QImage screen = session.Screenshot();
            const QRgb left = screen.pixel(2, 1035), right = screen.pixel(1917, 1012);
            const QRgb panel = screen.pixel(960, 1060);
            return qRed(left) > qGreen(left) + 40 && qRed(right) > qGreen(right) + 40 &&
                   qRed(panel) < qGreen(panel) + 40;
        },
        5000));
    // Another request is answered at once and takes no second capture.
    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    EXPECT_TRUE(TDesktopSession::Alive(first));

    release = true;
    const std::string log = FailedCaptureLog(first);
    EXPECT_NE(log.find("[Quorvel] Image upload failed."), std::string::npos) << log;
    EXPECT_EQ(silent->Count(), 1u);
    silent.reset();
    EXPECT_EQ(OpenedText(), "");
}

TEST_F(Upload, WithAKeyOverHttpsFromTheTeamsOwnAuthority) {
    const std::string certs = session.Root() + "/certs";
    std::filesystem::create_directories(certs);
    ASSERT_TRUE(quorvel::test::MakeTestCertificates(certs));
    const std::string key = "team-key-0123456789abcdef";
    std::ofstream(session.Root() + "/keys") << key << " tester\n";
    session.Start({QUORVEL_SERVER_BIN, "--data", session.Root() + "/serverdata", "--listen",
                   "127.0.0.1:0", "--keys", session.Root() + "/keys", "--tls-cert",
                   certs + "/server.pem", "--tls-key", certs + "/server.key"},
                  "server.log");
    const int port = session.ListeningPort("server.log");
    ASSERT_GT(port, 0);
    const std::string host = "upload_host=https://127.0.0.1:" + std::to_string(port) + "\n";
    Launch(host + "upload_key=" + key + "\nupload_ca_file=" + certs + "/ca.pem\n");

    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return !OpenedText().empty(); }, 10000))
        << session.QuorvelLog();
    const std::string prefix = "https://127.0.0.1:" + std::to_string(port) + "/i/";
    const std::string address = OpenedText();
    ASSERT_EQ(address.rfind(prefix, 0), 0u) << address;
    const std::string stored = quorvel::test::ReadFileBytes(session.Root() + "/serverdata/images/" +
                                                            address.substr(prefix.size(), 36));
    QImage uploaded;
    ASSERT_TRUE(uploaded.loadFromData(reinterpret_cast<const uchar*>(stored.data()),
                                      static_cast<int>(stored.size()), "PNG"));
    EXPECT_EQ(uploaded.size(), QSize(1920, 1080));
    const std::string log = quorvel::test::ReadFileBytes(session.Root() + "/server.log");
    EXPECT_NE(log.find(" POST /image 200 "), std::string::npos) << log;
    EXPECT_NE(log.find(" tester\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(key), std::string::npos);
}

TEST_F(Upload, QuitDuringAnUploadEndsTheProgramAtOnce) {
    // A server that takes the upload and never answers.
    std::atomic<bool> release{false};
    quorvel::test::TRawServer silent([&](int, const std::string&) -> std::optional<std::string> {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return std::string();
    });
    Launch("upload_host=127.0.0.1:" + std::to_string(silent.Port()) + "\n");
    session.Start({quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
    ASSERT_TRUE(TDesktopSession::WaitUntil([&] { return silent.Count() == 1; }, 10000));

    session.Start({quorvel::test::QuorvelCtlBinary(), "--exit"}, "exit.log");
    // Within two seconds, not the 30 the upload would wait for the server (the sanitizers
    // make the program's own end slower).
    const int allowed = std::getenv("QUORVEL_SANITIZED") != nullptr ? 10000 : 2000;
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return !TDesktopSession::Alive(session.QuorvelPid()); }, allowed));
    EXPECT_EQ(session.QuorvelLog().find("quorvel: message:"), std::string::npos);
    release = true;
}
