// The credit link and the missing-file messages on a private desktop, with a recorder in
// place of the desktop's web browser: without `home_url` nothing is opened, with it
// exactly that address.

#include "DesktopSession.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

class HomePage : public testing::Test {
protected:
    void SetUp() override {
        // xdg-open and a browser that only write down what they were asked to open.
        bin = session.Root() + "/bin";
        fs::create_directories(bin);
        for (const char* name : {"xdg-open", "x-www-browser", "firefox", "sensible-browser"}) {
            const std::string path = bin + "/" + name;
            std::ofstream(path) << "#!/bin/sh\necho \"$@\" >> '" << Opened() << "'\n";
            ::chmod(path.c_str(), 0755);
        }
    }
    std::string Opened() const { return session.Root() + "/opened.txt"; }
    std::string OpenedText() const { return session.Output("cat " + Opened() + " 2>/dev/null"); }
    // PATH holds the recorder and the system's tools, but no ffmpeg: the program's own
    // copy is moved where nothing sits beside it.
    bool Launch(const std::string& settings) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nlanguage=en\n" + settings);
        return session.StartQuorvel({"/start"}, {"PATH=" + bin + ":/usr/local/bin:/usr/bin:/bin",
                                                 "BROWSER=" + bin + "/x-www-browser"});
    }

    TDesktopSession session;
    std::string bin;
};

} // namespace

TEST_F(HomePage, AboutOpensTheOwnWindowUnlessAHomePageIsSet) {
    ASSERT_TRUE(Launch("")) << session.QuorvelLog();
    EXPECT_EQ(session.Ctl(R"({"command":"about"})"), "1");
    unsigned long about = 0;
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return (about = session.VisibleWindow("About Quorvel")) != 0; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(OpenedText(), "");
    // Escape closes it.
    EXPECT_TRUE(session.Activate(about));
    session.Status("xdotool key Escape");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.VisibleWindow("About Quorvel") == 0; }, 3000));
    session.StopQuorvel();

    ASSERT_TRUE(Launch("home_url=http://127.0.0.1:9/quorvel\n")) << session.QuorvelLog();
    EXPECT_EQ(session.Ctl(R"({"command":"about"})"), "1");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] { return OpenedText() == "http://127.0.0.1:9/quorvel?v=4.0.1.0\n"; }, 5000))
        << OpenedText();
    EXPECT_EQ(session.VisibleWindow("About Quorvel"), 0u);
}

TEST_F(HomePage, MissingFfmpegNamesItsPackageAndOpensNothingWithoutAHomePage) {
    // A copy of the program alone in a folder: no ffmpeg beside it, none on PATH.
    const std::string folder = session.Root() + "/program";
    fs::create_directories(folder);
    fs::copy_file(quorvel::test::QuorvelBinary(), folder + "/quorvel");
    for (const std::string home : {"", "http://127.0.0.1:9/help"}) {
        std::remove(Opened().c_str());
        session.WriteSettings("path=" + session.SaveFolder() + "\nlanguage=en\nsaveto=5\n" +
                              (home.empty() ? "" : "home_url=" + home + "\n"));
        const pid_t pid = session.Start({folder + "/quorvel", "/start"}, "missing.log",
                                        {"PATH=" + bin, "BROWSER=" + bin + "/x-www-browser"});
        EXPECT_TRUE(TDesktopSession::WaitUntil(
            [&] {
                return session.Output("cat " + session.Root() + "/missing.log")
                           .find("\"ffmpeg\" file not found.\\r\\rThe Debian package \"ffmpeg\" "
                                 "provides it.") != std::string::npos;
            },
            10000))
            << session.Output("cat " + session.Root() + "/missing.log");
        EXPECT_TRUE(session.AnswerMessage());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (home.empty())
            EXPECT_EQ(OpenedText(), "");
        else
            EXPECT_TRUE(TDesktopSession::WaitUntil(
                [&] { return OpenedText() == home + "?app=quorvel&msg=ffmpegnotfound\n"; }, 5000))
                << OpenedText();
        session.Status(quorvel::test::QuorvelCtlBinary() + " --exit");
        TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(pid); }, 5000);
        std::remove((session.Root() + "/missing.log").c_str());
    }
}

TEST_F(HomePage, MissingWebPNamesItsPackageAndOpensNothing) {
    const std::string folder = session.Root() + "/program";
    fs::create_directories(folder);
    fs::copy_file(quorvel::test::QuorvelBinary(), folder + "/quorvel");
    std::ofstream(folder + "/libwebp.so.7") << "not a library";
    session.WriteSettings("path=" + session.SaveFolder() + "\nlanguage=en\nsaveto=4\n");
    session.Start(
        {folder + "/quorvel", "/start"}, "webp.log",
        {"PATH=" + bin + ":/usr/local/bin:/usr/bin:/bin", "BROWSER=" + bin + "/x-www-browser"});
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.Output("cat " + session.Root() + "/webp.log")
                       .find("\"libwebp.so.7\" file not found.\\r\\rThe Debian package "
                             "\"libwebp7\" provides it.") != std::string::npos;
        },
        10000));
    EXPECT_TRUE(session.AnswerMessage());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(OpenedText(), "");
}
