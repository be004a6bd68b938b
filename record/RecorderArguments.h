#pragma once

#include "platform/Geometry.h"

#include <string>

namespace quorvel {

// The video's frame rate, for the monitor and for the region's mirrored frames alike.
constexpr int kVideoFramesPerSecond = 30;

// What one recording asks of the encoder.
struct TRecordSettings {
    bool Mouse = true;       // the cursor in the picture
    int LimitSeconds = 0;    // 0: no limit
    std::string AudioDevice; // the sound source; empty: no sound
    std::string Output;      // the MP4 file
    // The monitor under the pointer, read by the encoder from the X display…
    std::string Display;
    TRect Monitor;
    // …or the region, mirrored by the program into a named pipe as raw BGRA frames of
    // Width x Height.
    bool Region = false;
    std::string Fifo;
    int Width = 0;
    int Height = 0;
};

// The encoder's arguments (everything after the program), built from the template
// "-rtbufsize 150M {audio_f} {video_f} {audio_c} {video_c} {video_t} -vf
// "scale=trunc(iw/2)*2:trunc(ih/2)*2" -y "OUTPUT"", each placeholder replaced once; an
// emptied placeholder leaves its two spaces.
std::string RecorderArguments(const TRecordSettings& settings);

// A region side for the encoder: twice the half rounded to the nearest, halves to the
// even neighbour (101 gives 100, 103 gives 104).
int EvenSide(int side);

// The seconds of the recording limit chosen in minutes (0, 30, 60, 120 or 240).
int LimitSecondsOf(int minutes);

// The first source of a listing of "ffmpeg -sources pulse"; empty when it lists none.
std::string FirstSoundSource(const std::string& listing);

// The elapsed time of an encoder progress line ("… time=00:01:02.50 …"); empty when the
// line has none.
std::string ProgressTime(const std::string& line);

// Seconds of a progress time "HH:MM:SS.cc"; 0 when it is none.
double ProgressSeconds(const std::string& time);

// The frames encoded so far, from an encoder progress line ("frame=   12 fps=…"); -1 when
// the line has none.
long ProgressFrames(const std::string& line);

} // namespace quorvel
