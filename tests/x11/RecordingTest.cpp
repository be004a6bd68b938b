// Screen recording with the real encoder on a private desktop: the whole monitor and a
// region to MP4 files that ffprobe reads, sound from a private PulseAudio server, a region
// stopped at once, the program killed or asked to exit during a recording, the menu's time
// limit, the encoder's log, and an encoder that fails at once.

#include "DesktopSession.h"

#include <QImage>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

class Recording : public testing::Test {
protected:
    void Launch(const std::string& settings, const std::vector<std::string>& env = {}) {
        session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\nsaveto=5\n" + settings);
        ASSERT_TRUE(session.StartQuorvel({"/start"}, env)) << session.QuorvelLog();
    }
    // One value of ffprobe about the file ("stream=codec_name", "format=duration" …).
    std::string Probe(const std::string& file, const std::string& entry,
                      const std::string& stream = "v:0") const {
        std::string out =
            session.Output("ffprobe -v error -select_streams " + stream + " -show_entries " +
                           entry + " -of default=nw=1:nk=1 '" + file + "' 2>/dev/null");
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        return out;
    }
    // The recording is over once the encoder has let go of the file and the program is
    // idle again: a file that ffprobe reads with a duration, and no encoder of this
    // program's left (tests running alongside have their own).
    bool WaitForFile(const std::string& file, int ms) {
        return TDesktopSession::WaitUntil(
            [&] {
                return fs::exists(file) && !Probe(file, "format=duration", "v:0").empty() &&
                       session.Status("pgrep -x -P " + std::to_string(session.QuorvelPid()) +
                                      " ffmpeg >/dev/null") != 0;
            },
            ms);
    }
    double Seconds(const std::string& text) const { return text.empty() ? -1 : std::stod(text); }

    TDesktopSession session{800, 600};
};

} // namespace

TEST_F(Recording, WholeMonitorIsAPlayableH264FileOfTheTimeRecorded) {
    Launch("area=0\nmouse=0\nffmpeg_log=1\n");
    session.ShowPatternWindow("Pattern", 300, 200, 100, 100);
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const TClock::time_point started = TClock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const double recorded = std::chrono::duration<double>(TClock::now() - started).count();
    const std::string file = session.SaveFolder() + "/Q-001.mp4";
    ASSERT_TRUE(WaitForFile(file, 15000)) << session.QuorvelLog();
    EXPECT_EQ(Probe(file, "stream=codec_name"), "h264");
    EXPECT_EQ(Probe(file, "stream=pix_fmt"), "yuv420p");
    EXPECT_EQ(Probe(file, "stream=width"), "800");
    EXPECT_EQ(Probe(file, "stream=height"), "600");
    EXPECT_EQ(Probe(file, "stream=r_frame_rate"), "30/1");
    EXPECT_NEAR(Seconds(Probe(file, "format=duration")), recorded,
                0.5 * quorvel::test::TimeScale());
    // The encoder's lines went to the log in the save folder.
    const std::string log = session.Output("cat '" + session.SaveFolder() + "/ffmpeg.log'");
    EXPECT_NE(log.find("time="), std::string::npos);
    // No sound was asked for.
    EXPECT_EQ(Probe(file, "stream=codec_name", "a"), "");
}

TEST_F(Recording, OddRegionGivesTheEvenSizeAndThePixelsUnderTheHole) {
    session.Status("xsetroot -solid '#20c040'");
    Launch("area=1\nleft=151\ntop=101\nwidth=101\nheight=75\nmouse=0\n");
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.VisibleWindow("Region - Quorvel") != 0; }, 5000));
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string file = session.SaveFolder() + "/Q-001.mp4";
    ASSERT_TRUE(WaitForFile(file, 15000)) << session.QuorvelLog();
    EXPECT_EQ(Probe(file, "stream=width"), "100");
    EXPECT_EQ(Probe(file, "stream=height"), "76");
    EXPECT_GT(Seconds(Probe(file, "format=duration")), 1.5);
    const std::string frame = session.Root() + "/frame.png";
    ASSERT_EQ(
        session.Status("ffmpeg -v error -ss 1 -i '" + file + "' -frames:v 1 -y '" + frame + "'"),
        0);
    const QImage picture(QString::fromStdString(frame));
    ASSERT_EQ(picture.size(), QSize(100, 76));
    const QRgb c = picture.pixel(50, 38);
    EXPECT_NEAR(qRed(c), 0x20, 12);
    EXPECT_NEAR(qGreen(c), 0xc0, 12);
    EXPECT_NEAR(qBlue(c), 0x40, 12);
}

TEST_F(Recording, SoundComesFromThePulseServerAndTheVideoKeepsTheTimeBetweenThePresses) {
    ASSERT_TRUE(session.StartSoundServer());
    Launch("area=0\nmouse=0\naudio=1\n");
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const TClock::time_point started = TClock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const double recorded = std::chrono::duration<double>(TClock::now() - started).count();
    const std::string file = session.SaveFolder() + "/Q-001.mp4";
    ASSERT_TRUE(WaitForFile(file, 20000)) << session.QuorvelLog();
    EXPECT_EQ(Probe(file, "stream=codec_name", "a"), "aac");
    // The sound source's slow start costs the video nothing.
    EXPECT_NEAR(Seconds(Probe(file, "stream=duration")), recorded,
                0.5 * quorvel::test::TimeScale());
}

TEST_F(Recording, SoundWithoutAServerRecordsThePictureAlone) {
    Launch("area=0\nmouse=0\naudio=1\n");
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const std::string file = session.SaveFolder() + "/Q-001.mp4";
    ASSERT_TRUE(WaitForFile(file, 20000)) << session.QuorvelLog();
    EXPECT_EQ(Probe(file, "stream=codec_name"), "h264");
    EXPECT_EQ(Probe(file, "stream=codec_name", "a"), "");
}

TEST_F(Recording, ARegionStoppedAtOnceEndsLikeAnyOtherAndLeavesNoPipe) {
    const std::string tmp = session.Root() + "/tmp";
    fs::create_directories(tmp);
    Launch("area=1\nleft=100\ntop=100\nwidth=200\nheight=150\nmouse=0\n", {"TMPDIR=" + tmp});
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return session.VisibleWindow("Region - Quorvel") != 0; }, 5000));
    for (const std::string name : {"Q-001.mp4", "Q-002.mp4"}) {
        ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        const std::string file = session.SaveFolder() + "/" + name;
        ASSERT_TRUE(WaitForFile(file, 15000)) << session.QuorvelLog();
        EXPECT_EQ(Probe(file, "stream=codec_name"), "h264");
        EXPECT_EQ(Probe(file, "stream=width"), "200");
    }
    EXPECT_TRUE(fs::is_empty(tmp));
}

// The program killed during a recording, of the whole monitor and of a region: the encoder
// finishes the file all the same, and the region's pipe leaves nothing behind.
TEST_F(Recording, AKilledProgramLeavesAFinishedFileAndNoPipe) {
    const std::string tmp = session.Root() + "/tmp";
    fs::create_directories(tmp);
    for (const std::string area : {"area=0\n", "area=1\n"}) {
        Launch(area + "left=100\ntop=100\nwidth=200\nheight=150\nmouse=0\n", {"TMPDIR=" + tmp});
        if (area == "area=1\n") {
            ASSERT_TRUE(TDesktopSession::WaitUntil(
                [&] { return session.VisibleWindow("Region - Quorvel") != 0; }, 5000));
        }
        ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        std::string encoder =
            session.Output("pgrep -x -P " + std::to_string(session.QuorvelPid()) + " ffmpeg");
        while (!encoder.empty() && encoder.back() == '\n')
            encoder.pop_back();
        ASSERT_FALSE(encoder.empty());
        ::kill(session.QuorvelPid(), SIGKILL);
        // The encoder finishes the file and ends (a zombie counts as ended).
        ASSERT_TRUE(TDesktopSession::WaitUntil(
            [&] { return session.Status("ps -o stat= -p " + encoder + " | grep -qv Z") != 0; },
            15000))
            << area;
        const std::string file = session.SaveFolder() + "/Q-001.mp4";
        EXPECT_EQ(Probe(file, "stream=codec_name"), "h264") << area;
        EXPECT_GT(Seconds(Probe(file, "format=duration")), 1.0) << area;
        EXPECT_TRUE(fs::is_empty(tmp)) << area;
        fs::remove(file);
    }
}

// An exit asked for during a recording, by the command channel or by a signal, is answered
// at once; the recording is finished and the program goes, with no box waiting for a user.
TEST_F(Recording, AnExitDuringARecordingFinishesTheFileAndAnswersAtOnce) {
    for (const std::string way : {"channel", "signal"}) {
        Launch("area=0\nmouse=0\n");
        ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        const TClock::time_point asked = TClock::now();
        if (way == "channel")
            session.Ctl("--exit");
        else
            ::kill(session.QuorvelPid(), SIGTERM);
        EXPECT_LT(std::chrono::duration<double>(TClock::now() - asked).count(), 2.0) << way;
        EXPECT_TRUE(TDesktopSession::WaitUntil(
            [&] { return !TDesktopSession::Alive(session.QuorvelPid()); }, 15000))
            << way << session.QuorvelLog();
        const std::string file = session.SaveFolder() + "/Q-001.mp4";
        ASSERT_TRUE(WaitForFile(file, 15000)) << way << session.QuorvelLog();
        EXPECT_GT(Seconds(Probe(file, "format=duration")), 1.5) << way;
        EXPECT_EQ(session.QuorvelLog().find("녹화중입니다."), std::string::npos);
        fs::remove(file);
    }
}

// The time limit chosen in the menu reaches the encoder, and an encoder that ends by itself
// (as it does at the limit) ends the recording: the program is idle again. The encoder
// here is a stand-in beside a copy of the program that notes its arguments and ends after
// a second.
TEST_F(Recording, TheMenusLimitReachesTheEncoderWhoseEndEndsTheRecording) {
    const std::string folder = session.Root() + "/program";
    const std::string noted = session.Root() + "/arguments";
    fs::create_directories(folder);
    fs::copy_file(quorvel::test::QuorvelBinary(), folder + "/quorvel");
    std::ofstream(folder + "/ffmpeg") << "#!/bin/sh\n"
                                         "[ \"$1\" = -hide_banner ] && exit 0\n"
                                         "echo \"$*\" >> '"
                                      << noted
                                      << "'\n"
                                         "for a; do out=$a; done\n"
                                         "sleep 1; echo frames > \"$out\"\n";
    ::chmod((folder + "/ffmpeg").c_str(), 0755);
    for (const auto& choice :
         std::vector<std::pair<std::string, std::string>>{{"30", "-t 1800"}, {"240", "-t 14400"}}) {
        const std::string minutes = choice.first;
        const std::string limit = choice.second;
        fs::remove(noted);
        session.WriteSettings("path=" + session.SaveFolder() +
                              "\nsound=1\nsaveto=5\narea=0\nrecord_limit=" + minutes + "\n");
        // A variable of the environment does not override the user's limit.
        const pid_t pid =
            session.Start({folder + "/quorvel", "/start"}, "limit-" + minutes + ".log",
                          {"QUORVEL_RECORD_LIMIT_SECONDS=2"});
        ASSERT_TRUE(TDesktopSession::WaitUntil(
            [&] {
                return fs::exists(session.Root() + "/limit-" + minutes + ".log") &&
                       session.Output("cat " + session.Root() + "/limit-" + minutes + ".log")
                               .find("quorvel: ready") != std::string::npos;
            },
            10000));
        // Two recordings one after the other, each ended by the encoder alone.
        for (int round = 1; round <= 2; ++round) {
            EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
            EXPECT_TRUE(TDesktopSession::WaitUntil(
                [&] {
                    return session.Output("cat '" + noted + "' 2>/dev/null | wc -l") ==
                           std::to_string(round) + "\n";
                },
                10000));
            std::this_thread::sleep_for(std::chrono::milliseconds(1800));
        }
        const std::string arguments = session.Output("cat '" + noted + "'");
        EXPECT_NE(arguments.find(" " + limit + " "), std::string::npos) << arguments;
        session.Ctl("--exit");
        EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(pid); }, 5000));
    }
}

TEST_F(Recording, AnEncoderThatFailsAtOnceSaysWhyAndLeavesTheProgramIdle) {
    // A copy of the program with an encoder beside it that refuses at once.
    const std::string folder = session.Root() + "/program";
    fs::create_directories(folder);
    fs::copy_file(quorvel::test::QuorvelBinary(), folder + "/quorvel");
    std::ofstream(folder + "/ffmpeg") << "#!/bin/sh\n"
                                         "[ \"$1\" = -hide_banner ] && exit 0\n"
                                         "echo 'Cannot open display :99, error 1.' >&2\nexit 1\n";
    ::chmod((folder + "/ffmpeg").c_str(), 0755);
    session.WriteSettings("path=" + session.SaveFolder() + "\nsound=1\nsaveto=5\narea=0\n");
    const pid_t pid = session.Start({folder + "/quorvel", "/start"}, "failing.log");
    const auto log = [&] { return session.Output("cat " + session.Root() + "/failing.log"); };
    ASSERT_TRUE(TDesktopSession::WaitUntil(
        [&] { return log().find("quorvel: ready") != std::string::npos; }, 10000));
    for (int round = 1; round <= 2; ++round) {
        EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
        EXPECT_TRUE(TDesktopSession::WaitUntil(
            [&] {
                std::size_t count = 0;
                const std::string text = log();
                for (std::size_t at = text.find("Capture failed.\\r\\rCannot open display :99");
                     at != std::string::npos; at = text.find("Cannot open display :99", at + 1))
                    ++count;
                return count >= static_cast<std::size_t>(round);
            },
            10000))
            << log();
        EXPECT_TRUE(session.AnswerMessage());
    }
    EXPECT_TRUE(TDesktopSession::Alive(pid));
}
