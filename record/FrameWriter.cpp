#include "record/FrameWriter.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace quorvel {

TFrameWriter::TFrameWriter(std::string fifo, std::chrono::microseconds framePeriod, bool repeat)
    : FFifo(std::move(fifo)), FFramePeriod(framePeriod), FRepeat(repeat) {
    // An encoder that has gone makes the write fail rather than raise a signal.
    std::signal(SIGPIPE, SIG_IGN);
    FThread = std::thread([this] { Run(); });
}

TFrameWriter::~TFrameWriter() {
    Abandon();
    if (FThread.joinable())
        FThread.join();
}

void TFrameWriter::Put(const QImage& frame) {
    std::lock_guard guard(FLock);
    if (FClosing)
        return;
    if (FHasWaiting)
        ++FDropped;
    FWaiting = frame;
    FHasWaiting = true;
    FWake.notify_one();
}

void TFrameWriter::Close() {
    std::lock_guard guard(FLock);
    FClosing = true;
    FWake.notify_one();
}

void TFrameWriter::Abandon() {
    std::lock_guard guard(FLock);
    FClosing = true;
    FAbandoned = true;
    FWake.notify_one();
}

int TFrameWriter::Written() const {
    std::lock_guard guard(FLock);
    return FWritten;
}

int TFrameWriter::Dropped() const {
    std::lock_guard guard(FLock);
    return FDropped;
}

int TFrameWriter::Repeated() const {
    std::lock_guard guard(FLock);
    return FRepeated;
}

void TFrameWriter::Run() {
    for (;;) {
        QImage frame;
        {
            std::unique_lock guard(FLock);
            // The next frame goes out at its time, not before; the last one at once.
            FWake.wait_until(guard, FNextFrame, [this] { return FClosing; });
            const auto ready = [this] { return FHasWaiting || FClosing; };
            // A new frame is given half a period past its time before the last one goes
            // again in its place.
            if (FRepeat && !FLast.isNull())
                FWake.wait_until(guard, FNextFrame + FFramePeriod / 2, ready);
            else
                FWake.wait(guard, ready);
            if (FHasWaiting) {
                frame = FWaiting;
                FWaiting = QImage();
                FHasWaiting = false;
            } else if (FClosing) {
                break; // nothing left
            } else {
                frame = FLast;
                ++FRepeated;
            }
            FLast = frame;
        }
        // The next frame's time is one period after this one's, so that the frames keep
        // to the video's rate. A frame sent late (none was handed over in time, or the
        // encoder was slow to read) starts the count again from its own time rather than
        // letting a burst of frames through to catch up.
        const auto taken = std::chrono::steady_clock::now();
        FNextFrame =
            taken - FNextFrame < FFramePeriod ? FNextFrame + FFramePeriod : taken + FFramePeriod;
        if (!Open())
            return;
        const auto* bytes = reinterpret_cast<const char*>(frame.constBits());
        const std::size_t size = static_cast<std::size_t>(frame.sizeInBytes());
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(FFd, bytes + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // the encoder is gone
            done += static_cast<std::size_t>(n);
        }
        std::lock_guard guard(FLock);
        if (done < size) {
            FClosing = true;
            break;
        }
        ++FWritten;
    }
    // Even with no frame to give, an encoder waiting to open its input gets the end of it.
    if (FFd < 0)
        Open();
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

// The pipe opens once the encoder has opened it for reading; until it has ended. Both ends
// being open, the pipe's name and its folder are no longer needed and are removed, so that
// nothing is left behind should either program end abruptly.
bool TFrameWriter::Open() {
    while (FFd < 0) {
        FFd = ::open(FFifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (FFd >= 0) {
            ::fcntl(FFd, F_SETFL, ::fcntl(FFd, F_GETFL) & ~O_NONBLOCK);
            ::fcntl(FFd, F_SETPIPE_SZ, 1024 * 1024);
            ::unlink(FFifo.c_str());
            if (const std::size_t slash = FFifo.rfind('/'); slash != std::string::npos && slash > 0)
                ::rmdir(FFifo.substr(0, slash).c_str());
            return true;
        }
        std::unique_lock guard(FLock);
        if (FAbandoned)
            return false;
        FWake.wait_for(guard, std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace quorvel
