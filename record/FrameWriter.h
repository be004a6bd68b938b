#pragma once

#include <QImage>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace quorvel {

// Writes frames into a named pipe on a thread of its own, so that an encoder that reads
// slowly or stalls never holds up the caller. Frames go out at the video's rate, at most
// one a frame period: the newest frame handed over by then is written, and one replaced
// before it went out is counted as dropped. The encoder stamps frames with their arrival
// time, so the video keeps time; frames offered faster than its rate would otherwise be
// dropped by the encoder.
//
// With `repeat`, a frame time that passes with no new frame sends the last one again, so
// that the video goes on at its rate while the source has nothing new to give (a
// compositor that lags, a grab that took long): the video stays as long as the
// recording and still pictures stay on screen for as long as they were.
class TFrameWriter {
public:
    TFrameWriter(std::string fifo, std::chrono::microseconds framePeriod, bool repeat = false);
    ~TFrameWriter();
    TFrameWriter(const TFrameWriter&) = delete;
    TFrameWriter& operator=(const TFrameWriter&) = delete;

    void Put(const QImage& frame);
    // No more frames: the pipe is closed once the newest frame handed over is through, and
    // the encoder sees the end of its input. A pipe the encoder has not opened yet is still
    // opened, and that frame written, when the encoder gets to it: an encoder left waiting
    // to open its input would never end.
    void Close();
    // The encoder has ended: nothing more is waited for.
    void Abandon();
    int Written() const;
    int Dropped() const;
    // Frames sent again for want of a new one.
    int Repeated() const;

private:
    void Run();
    bool Open();

    std::string FFifo;
    std::chrono::microseconds FFramePeriod;
    std::chrono::steady_clock::time_point FNextFrame;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    QImage FWaiting;
    QImage FLast; // the frame last sent, for a repeat
    bool FRepeat = false;
    int FRepeated = 0;
    bool FHasWaiting = false;
    bool FClosing = false;
    bool FAbandoned = false;
    int FWritten = 0;
    int FDropped = 0;
    int FFd = -1;
    std::thread FThread;
};

} // namespace quorvel
