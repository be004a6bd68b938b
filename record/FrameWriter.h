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
class TFrameWriter {
public:
    TFrameWriter(std::string fifo, std::chrono::microseconds framePeriod);
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

private:
    void Run();
    bool Open();

    std::string FFifo;
    std::chrono::microseconds FFramePeriod;
    std::chrono::steady_clock::time_point FNextFrame;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    QImage FWaiting;
    bool FHasWaiting = false;
    bool FClosing = false;
    bool FAbandoned = false;
    int FWritten = 0;
    int FDropped = 0;
    int FFd = -1;
    std::thread FThread;
};

} // namespace quorvel
