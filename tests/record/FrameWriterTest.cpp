#include "record/FrameWriter.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorvel {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr std::size_t kFrameBytes = kWidth * kHeight * 4;

QImage Frame(int number) {
    QImage frame(kWidth, kHeight, QImage::Format_ARGB32);
    frame.fill(QColor(number, 255 - number, 7));
    return frame;
}

// Reads the pipe to its end, as the encoder does, and returns the first pixel of every
// whole frame; a partial frame at the end is reported as -1.
std::vector<int> ReadFrames(const std::string& fifo) {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    std::vector<int> frames;
    if (fd < 0)
        return frames;
    std::vector<unsigned char> frame(kFrameBytes);
    std::size_t have = 0;
    for (;;) {
        const ssize_t n = ::read(fd, frame.data() + have, kFrameBytes - have);
        if (n <= 0)
            break;
        have += static_cast<std::size_t>(n);
        if (have == kFrameBytes) {
            frames.push_back(frame[2]); // the red byte of BGRA
            have = 0;
        }
    }
    if (have != 0)
        frames.push_back(-1);
    ::close(fd);
    return frames;
}

TEST(FrameWriter, SendsTheNewestFrameAtEachFrameTimeAndTheLastOneAtOnce) {
    const test::TTempFolder folder;
    const std::string fifo = folder.File("frames");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<int> read;
    std::thread encoder([&] { read = ReadFrames(fifo); });
    {
        // A period far longer than the test: the first frame goes out at once, the ones
        // put after it only replace each other, and closing sends the newest without
        // waiting for its time.
        TFrameWriter writer(fifo, std::chrono::seconds(30));
        writer.Put(Frame(10));
        while (writer.Written() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (int number = 11; number <= 15; ++number)
            writer.Put(Frame(number));
        EXPECT_EQ(writer.Dropped(), 4);
        writer.Close();
    }
    encoder.join();
    EXPECT_EQ(read, (std::vector<int>{10, 15}));
}

// A source that has nothing new (a still screen under a compositor that copies only on
// change) still gives the encoder a frame at each frame time: the last one again, no
// faster than the rate, and a new frame takes over as soon as it comes.
TEST(FrameWriter, RepeatsTheLastFrameAtTheRateWhileNoNewOneComes) {
    const test::TTempFolder folder;
    const std::string fifo = folder.File("frames");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<int> read;
    std::thread encoder([&] { read = ReadFrames(fifo); });
    const auto period = std::chrono::milliseconds(20);
    int repeated = 0;
    const auto start = std::chrono::steady_clock::now();
    {
        TFrameWriter writer(fifo, period, true);
        writer.Put(Frame(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        writer.Put(Frame(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        writer.Close();
        repeated = writer.Repeated();
    }
    encoder.join();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_GE(read.size(), 2u);
    // Frame 10 and its repeats, then frame 20 and its repeats: nothing else, nothing cut.
    const auto firstTwenty = std::find(read.begin(), read.end(), 20);
    ASSERT_NE(firstTwenty, read.end());
    EXPECT_TRUE(std::all_of(read.begin(), firstTwenty, [](int f) { return f == 10; }));
    EXPECT_TRUE(std::all_of(firstTwenty, read.end(), [](int f) { return f == 20; }));
    EXPECT_GE(firstTwenty - read.begin(), 5) << "the still picture was not repeated";
    EXPECT_GE(read.end() - firstTwenty, 3);
    EXPECT_EQ(repeated, static_cast<int>(read.size()) - 2);
    // At the rate: never more frames than frame times, and not far fewer on an idle
    // machine (half is a wide margin for a loaded one).
    const auto times = static_cast<std::size_t>(elapsed / period) + 1;
    EXPECT_LE(read.size(), times);
    EXPECT_GE(read.size(), times / 2);

    // Without the repeat a still source sends its one frame only.
    // (The writer removes the pipe and its folder once both ends are open.)
    const test::TTempFolder folder2;
    const std::string fifo2 = folder2.File("frames");
    ASSERT_EQ(::mkfifo(fifo2.c_str(), 0600), 0);
    std::thread encoder2([&] { read = ReadFrames(fifo2); });
    {
        TFrameWriter writer(fifo2, period);
        writer.Put(Frame(30));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        writer.Close();
    }
    encoder2.join();
    EXPECT_EQ(read, (std::vector<int>{30}));
}

TEST(FrameWriter, AnEncoderThatGoesAwayEndsTheWriterWithoutBlockingTheCaller) {
    const test::TTempFolder folder;
    const std::string fifo = folder.File("frames");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The encoder reads the first frame's beginning and closes its end of the pipe.
    std::thread encoder([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char some[16];
        ASSERT_GT(::read(fd, some, sizeof some), 0);
        ::close(fd);
    });
    TFrameWriter writer(fifo, std::chrono::milliseconds(1));
    writer.Put(Frame(0));
    encoder.join();
    // Frames still handed over are not written any more; the caller never waits.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int written = writer.Written();
    for (int number = 1; number < 50; ++number) {
        writer.Put(Frame(number));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_LE(writer.Written(), written + 1);
    writer.Close();
}

} // namespace
} // namespace quorvel
