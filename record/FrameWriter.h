#pragma once

#include <QImage>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace quorvel {

// Writes frames into a named pipe on a thread of its own, so that an encoder that reads
// slowly or stalls never holds up the caller. Only the newest frame waits: one handed over
// while the previous is still being written replaces the one waiting (it is dropped); the
// encoder stamps frames with their arrival time, so the video keeps time.
class TFrameWriter {
public:
    explicit TFrameWriter(std::string fifo);
    ~TFrameWriter();
    TFrameWriter(const TFrameWriter&) = delete;
    TFrameWriter& operator=(const TFrameWriter&) = delete;

    void Put(const QImage& frame);
    // No more frames: the pipe is closed once the one being written is through, and the
    // encoder sees the end of its input.
    void Close();
    int Written() const;
    int Dropped() const;

private:
    void Run();

    std::string FFifo;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    QImage FWaiting;
    bool FHasWaiting = false;
    bool FClosing = false;
    int FWritten = 0;
    int FDropped = 0;
    int FFd = -1;
    std::thread FThread;
};

} // namespace quorvel
