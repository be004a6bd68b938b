#pragma once

#include <QImage>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct spa_hook;
struct spa_pod;

namespace quorvel {

// One video stream from the PipeWire server behind a file descriptor (the desktop
// portal's, for a shared screen), taken in on PipeWire's own thread. Each frame is copied
// out of the server's buffer at once and kept as the newest; older ones are dropped.
class TPipeWireStream {
public:
    // Connects to the node through `fd` (taken over and closed here). Raises
    // std::runtime_error when PipeWire cannot be set up.
    TPipeWireStream(int fd, std::uint32_t node);
    ~TPipeWireStream();
    TPipeWireStream(const TPipeWireStream&) = delete;
    TPipeWireStream& operator=(const TPipeWireStream&) = delete;

    // Waits at most `timeoutMs` for the first frame; false when none came or the stream
    // ended first.
    bool WaitForFrame(int timeoutMs);
    // The newest frame, RGB32; null before the first.
    QImage Frame() const;
    // Why the stream ended; empty while it runs.
    std::string Ended() const;

    // PipeWire's callbacks, on its thread.
    void StateChanged(int state, const char* error);
    void FormatChanged(std::uint32_t id, const spa_pod* param);
    void Process();

private:
    void Teardown();

    pw_thread_loop* FLoop = nullptr;
    pw_context* FContext = nullptr;
    pw_core* FCore = nullptr;
    pw_stream* FStream = nullptr;
    std::unique_ptr<spa_hook> FListener;
    mutable std::mutex FLock;
    std::condition_variable FArrived;
    QImage FFrame;
    std::string FEnded;
    // The negotiated format, on PipeWire's thread.
    std::uint32_t FFormat = 0;
    int FWidth = 0;
    int FHeight = 0;
};

} // namespace quorvel
