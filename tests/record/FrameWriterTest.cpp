#include "record/FrameWriter.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

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
