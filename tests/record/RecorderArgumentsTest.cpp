// The encoder's command line, built without a display.

#include "record/RecorderArguments.h"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(RecorderArguments, WholeMonitorInTheTemplatesOrder) {
    TRecordSettings s;
    s.Display = ":5";
    s.Monitor = {1920, 0, 1920 + 1280, 1024};
    s.Output = "/home/u/Desktop/Q-001.mp4";
    EXPECT_EQ(RecorderArguments(s),
              "-rtbufsize 150M  -f x11grab -video_size 1280x1024 -framerate 30 -i :5+1920,0  "
              "-c:v libx264 -preset ultrafast -r 30 -tune zerolatency -crf 25 -pix_fmt yuv420p  "
              "-vf \"scale=trunc(iw/2)*2:trunc(ih/2)*2\" -y \"/home/u/Desktop/Q-001.mp4\"");
    // The cursor left out, a limit, and sound from a device.
    s.Mouse = false;
    s.LimitSeconds = LimitSecondsOf(60);
    s.AudioDevice = "quorvel_test.monitor";
    EXPECT_EQ(RecorderArguments(s),
              "-rtbufsize 150M -thread_queue_size 1024 -f pulse -i \"quorvel_test.monitor\" -f "
              "x11grab -video_size "
              "1280x1024 -framerate 30 -draw_mouse 0 -i :5+1920,0 -c:a aac -ac 2 -b:a 128k "
              "-c:v libx264 -preset ultrafast -r 30 -tune zerolatency -crf 25 -pix_fmt yuv420p "
              "-t 3600 -vf \"scale=trunc(iw/2)*2:trunc(ih/2)*2\" -y \"/home/u/Desktop/Q-001.mp4\"");
}

TEST(RecorderArguments, RegionFramesThroughThePipeAtTheEvenSize) {
    TRecordSettings s;
    s.Region = true;
    s.Fifo = "/tmp/quorvel-record-x/frames";
    s.Width = EvenSide(101);
    s.Height = EvenSide(75);
    s.Output = "out.mp4";
    EXPECT_EQ(s.Width, 100);
    EXPECT_EQ(s.Height, 76);
    EXPECT_EQ(EvenSide(103), 104);
    EXPECT_EQ(RecorderArguments(s),
              "-rtbufsize 150M  -f rawvideo -pixel_format bgra -video_size 100x76 -framerate 30 "
              "-use_wallclock_as_timestamps 1 -i \"/tmp/quorvel-record-x/frames\"  -c:v libx264 "
              "-preset ultrafast -r 30 -tune zerolatency -crf 25 -pix_fmt yuv420p  -vf "
              "\"scale=trunc(iw/2)*2:trunc(ih/2)*2\" -y \"out.mp4\"");
}

TEST(RecorderArguments, LimitsSourcesAndProgress) {
    EXPECT_EQ(LimitSecondsOf(0), 0);
    EXPECT_EQ(LimitSecondsOf(30), 1800);
    EXPECT_EQ(LimitSecondsOf(240), 14400);
    EXPECT_EQ(FirstSoundSource("Auto-detected sources for pulse:\n"
                               "* alsa_input.pci [Built-in Audio] (none)\n"
                               "  quorvel_test.monitor [Monitor of Null Output] (none)\n"),
              "alsa_input.pci");
    EXPECT_EQ(FirstSoundSource("Auto-detected sources for pulse:\nCannot list sources: Generic "
                               "error in an external library\n"),
              "");
    EXPECT_EQ(ProgressTime("frame=  31 fps=0.0 q=-1.0 size=0kB time=00:01:02.50 bitrate=N/A"),
              "00:01:02.50");
    EXPECT_EQ(ProgressTime("time=00:00:01.00"), "");
    EXPECT_EQ(ProgressTime("no progress here"), "");
    EXPECT_EQ(ProgressFrames("frame=    0 fps=0.0 q=0.0 size=0kB time=00:00:00.00"), 0);
    EXPECT_EQ(ProgressFrames("frame=  231 fps= 30 q=15.0 size=12kB"), 231);
    EXPECT_EQ(ProgressFrames("Input #0, x11grab, from ':0'"), -1);
    EXPECT_DOUBLE_EQ(ProgressSeconds("01:02:03.50"), 3723.5);
    EXPECT_DOUBLE_EQ(ProgressSeconds("N/A"), 0);
}
