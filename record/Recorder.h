#pragma once

#include "platform/Geometry.h"
#include "record/DosCommand.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quorvel {

class TCapture;
class TFrameWriter;

// One screen recording to MP4 through the encoder program. The whole monitor is read by
// the encoder itself where it can (X11); a region, or a screen only the program can read,
// is mirrored by the program every 30 ms, from wherever the region stands at that moment,
// as raw frames into a named pipe the encoder reads, so the region may move while it
// records. "q" on the encoder's input ends the recording.
class TRecorder : public QObject {
    Q_OBJECT
public:
    TRecorder();
    ~TRecorder() override;

    bool Audio = false;
    bool Mouse = true;
    bool Logging = false;
    QString FFMpeg;       // the encoder program
    QString Output;       // the MP4 file
    QString LogFolder;    // where "ffmpeg.log" goes when Logging is on
    int LimitMinutes = 0; // 0, 30, 60, 120 or 240
    // The mirror sends its last frame again at the video's rate while no new one comes
    // (a mirror of a compositor's copies, which may lag behind the timer).
    bool RepeatFrames = false;
    // The mirror's grabs run on a thread of its own (a grab that touches no widget and may
    // wait for the compositor); the interface only tells it where the region stands.
    bool GrabOnThread = false;

    // The monitor nearest the pointer.
    void Start(const TRect& monitor);
    // The region that `rect` gives at each frame, grabbed with `capture`.
    void Start(TCapture* capture, std::function<TRect()> rect);
    // The region that `rect` gives at each frame, as `grab` gives its pixels (it raises
    // std::exception for a frame it cannot give).
    using TGrab = std::function<QImage(const TRect&)>;
    void Start(TGrab grab, std::function<TRect()> rect);
    void Stop();

    bool IsRunning() const { return FIsRunning; }
    // "HH:MM:SS.cc", as far as the encoder has come.
    const QString& RecTime() const { return FRecTime; }
    // Set when the recording ended badly: the encoder's last words.
    const QString& Failure() const { return FFailure; }
    // The first sound source the encoder lists; empty when there is none.
    QString GetDriver() const;

private:
    void Run(const std::string& arguments);
    void MirrorStep();
    // One frame of `rect` to the writer.
    void PutFrame(const TRect& rect);
    void MirrorLoop();
    void StopMirror();
    void CloseFifo();
    void SendQuit();
    void ForceQuit();
    void Finished();

    std::unique_ptr<TDosCommand> FCMD;
    TGrab FGrab;
    std::function<TRect()> FRect;
    QTimer FTimer;
    QString FRecTime;
    QString FFailure;
    QString FLastLine;
    bool FIsRunning = false;
    bool FStopping = false; // Stop was called
    bool FEncoding = false; // the encoder has reported a frame encoded
    bool FQuitSent = false;
    bool FForceQuit = false; // "q" goes without waiting any longer
    QTimer FQuitTimer;
    using TClock = std::chrono::steady_clock;
    TClock::time_point FStarted;    // the encoder was started
    double FWanted = 0;             // seconds between the start and Stop
    double FRecorded = 0;           // seconds of video the encoder has reported
    TClock::time_point FRecordedAt; // when it reported them
    // The region mirror's pipe and its writer.
    std::string FFolder;
    std::string FFifo;
    std::unique_ptr<TFrameWriter> FWriter;
    // The mirror's thread, and the region it grabs next.
    std::thread FMirror;
    std::mutex FMirrorLock;
    std::condition_variable FMirrorWake;
    TRect FMirrorRect;
    bool FMirrorStop = false;
    int FWidth = 0;
    int FHeight = 0;
};

} // namespace quorvel
