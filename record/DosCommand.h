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

// Runs one console program at a time with its standard input, output and error on pipes.
// A worker thread drives the run and a reader thread blocks on the output; every
// notification reaches the thread that called Execute (the user-interface thread), in the
// order the output came. The program gets none of this process's other descriptors, and
// it is ended with this process's user-interface thread, so it never outlives the
// program as an orphan.
class TDosCommand : public QObject {
    Q_OBJECT
public:
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
    // Every complete output line of the current or last run.
    std::vector<std::string> Lines;

    std::function<void(TDosCommand*, const std::string&, TOutputType)> OnNewLine;
    std::function<void(TDosCommand*, char)> OnNewChar;
    std::function<void(TDosCommand*)> OnTerminated;
    // A failed run; set `handled` to keep the runner's own message from showing.
    std::function<void(TDosCommand*, const EDosCommand&, bool& handled)> OnExecuteError;
    // Before the program is ended by force (Stop or a time-out).
    std::function<void(TDosCommand*, bool& canTerminate)> OnTerminateProcess;

    void Execute();
    // Queues input: the text, with CR LF after it when `eol`.
    void SendLine(const std::string& value, bool eol);
    // Ends the running program by force; the run ends with esStop.
    void Stop();

    TEndStatus EndStatus() const { return FEndStatus.load(); }
    std::uint32_t ExitCode() const { return FExitCode; }
    bool IsRunning() const { return FRun != nullptr; }
    pid_t ProcessId() const { return FPid; }

private:
    struct TRun;
    void Completed(const std::shared_ptr<TRun>& run);

    std::shared_ptr<TRun> FRun;
    std::atomic<TEndStatus> FEndStatus{esNone};
    std::uint32_t FExitCode = 0;
    pid_t FPid = 0;
};

} // namespace quorvel
