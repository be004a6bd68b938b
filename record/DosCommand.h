#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvel {

enum TEndStatus : int {
    esStop = 0,         // ended by Stop
    esProcess = 1,      // the program ended by itself
    esStill_Active = 2, // running
    esNone = 3,         // never run
    esError = 4,        // the runner failed
    esTime = 5          // ended because a time-out expired
};

enum TOutputType : int { otEntireLine = 0, otBeginningOfLine = 1 };

// The program's priority class; each stands for a nice value of the child (see
// NiceOfPriority).
enum TPriorityClass : std::uint32_t {
    IDLE_PRIORITY_CLASS = 0x40,
    BELOW_NORMAL_PRIORITY_CLASS = 0x4000,
    NORMAL_PRIORITY_CLASS = 0x20,
    ABOVE_NORMAL_PRIORITY_CLASS = 0x8000,
    HIGH_PRIORITY_CLASS = 0x80,
    REALTIME_PRIORITY_CLASS = 0x100
};

// The nice value a priority class gives the program: idle 19, below normal 10, above
// normal -5, high -10, realtime -20. Normal keeps the value the program inherits from us.
// Throws EDosCommand for a value that is no priority class.
int NiceOfPriority(std::uint32_t priority, int inherited);

class EDosCommand : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    virtual const char* ClassName() const { return "EDosCommand"; }
};
class ECreatePipeError : public EDosCommand {
public:
    using EDosCommand::EDosCommand;
    const char* ClassName() const override { return "ECreatePipeError"; }
};
class ECreateProcessError : public EDosCommand {
public:
    using EDosCommand::EDosCommand;
    const char* ClassName() const override { return "ECreateProcessError"; }
};
class EProcessTimer : public EDosCommand {
public:
    using EDosCommand::EDosCommand;
    const char* ClassName() const override { return "EProcessTimer"; }
};
// A step of the run that cannot fail in a sound run did: the program's input could not be
// written, or the reader could not be woken for its end.
class EAssertionFailed : public EDosCommand {
public:
    using EDosCommand::EDosCommand;
    const char* ClassName() const override { return "EAssertionFailed"; }
};

// The started program: its process id, its process group (a group of its own, as a console
// of its own would be) and a handle to it (a pidfd; -1 where the system has none). The
// handle is valid only while the run lasts.
struct TProcessInformation {
    pid_t ProcessId = 0;
    pid_t ProcessGroup = 0;
    int ProcessHandle = -1;
};

class TProcessTimer;

// Runs one console program at a time with its standard input, output and error on pipes.
// A worker thread per run creates the pipes and the program and drives the run; a reader
// thread blocks on the output. Every notification reaches the thread that called Execute
// (the user-interface thread), in the order the output came. The program gets none of this
// process's other descriptors, and it is sent SIGTERM should this process go away while it
// runs, so that it can finish its work (an encoder writes its file whole) rather than
// outlive us or die half-way.
class TDosCommand : public QObject {
    Q_OBJECT
public:
    using TNewLineEvent = std::function<void(TDosCommand*, const std::string&, TOutputType)>;
    // Turns a chunk of the program's output into text; runs on the reader thread.
    using TCharDecoding = std::function<std::string(TDosCommand*, const std::string& buf)>;
    // Turns a line of input into the bytes written to the program; runs on the worker.
    using TCharEncoding =
        std::function<void(TDosCommand*, const std::string& chars, std::string& outBuf)>;

    explicit TDosCommand(QObject* parent = nullptr);
    ~TDosCommand() override;

    // The program path first (quoted when it holds blanks), then its arguments.
    std::string CommandLine;
    // The program's working folder; empty for ours.
    std::string CurrentDir;
    // Entries "name=value" added to the inherited environment; empty inherits it as it is.
    std::vector<std::string> Environment;
    // Every sent line is also reported as output.
    bool InputToOutput = false;
    // Seconds; 0 is no limit.
    int MaxTimeAfterBeginning = 0;
    int MaxTimeAfterLastOutput = 0;
    // The program's priority class (TPriorityClass).
    std::uint32_t Priority = NORMAL_PRIORITY_CLASS;
    // Every complete output line of the current or last run.
    std::vector<std::string> Lines;
    // A second list that receives the same lines, and the echoed input; not owned.
    std::vector<std::string>* OutputLines = nullptr;

    TNewLineEvent OnNewLine;
    std::function<void(TDosCommand*, char)> OnNewChar;
    std::function<void(TDosCommand*)> OnTerminated;
    // A failed run; set `handled` to keep the runner's own message from showing.
    std::function<void(TDosCommand*, const EDosCommand&, bool& handled)> OnExecuteError;
    // Before the program is ended by force (Stop or a time-out).
    std::function<void(TDosCommand*, bool& canTerminate)> OnTerminateProcess;

    // The coding events may change only between runs: "DosCommand still running" else.
    void SetOnCharDecoding(TCharDecoding decoding);
    void SetOnCharEncoding(TCharEncoding encoding);
    const TCharDecoding& OnCharDecoding() const { return FOnCharDecoding; }
    const TCharEncoding& OnCharEncoding() const { return FOnCharEncoding; }

    void Execute();
    // Queues input: the text, with CR LF after it when `eol`.
    void SendLine(const std::string& value, bool eol);
    // Ends the running program by force; the run ends with esStop.
    void Stop();

    TEndStatus EndStatus() const { return FEndStatus.load(); }
    std::uint32_t ExitCode() const { return FExitCode; }
    bool IsRunning() const { return FRun != nullptr; }
    const TProcessInformation& ProcessInformation() const { return FProcessInformation; }

private:
    struct TRun;
    void Worker(const std::shared_ptr<TRun>& run);
    void Completed(const std::shared_ptr<TRun>& run);

    std::shared_ptr<TRun> FRun;
    std::unique_ptr<TProcessTimer> FTimer;
    TCharDecoding FOnCharDecoding;
    TCharEncoding FOnCharEncoding;
    std::atomic<TEndStatus> FEndStatus{esNone};
    std::uint32_t FExitCode = 0;
    TProcessInformation FProcessInformation;
};

} // namespace quorvel
