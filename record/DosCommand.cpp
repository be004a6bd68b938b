#include "record/DosCommand.h"

#include "record/CommandLine.h"
#include "support/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quorvel {

namespace {

using TClock = std::chrono::steady_clock;

std::string SystemMessage(int err) {
    return std::strerror(err);
}

// The program file as the shell would find it: a name with a slash as it is, else the
// first executable of that name on PATH.
std::string ResolveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return name;
}

} // namespace

// What the worker, the reader and the user-interface thread share for one run.
struct TDosCommand::TRun {
    std::mutex lock;
    std::deque<std::string> input; // marker "_" (line end) or " " (none), then the text
    std::string output;            // read, not yet split
    bool outputEnded = false;
    std::atomic<bool> stop{false};
    std::atomic<bool> readerStop{false};
    int wake = -1;     // eventfd: output, input or stop
    int outRead = -1;  // our end of the program's output
    int outSpare = -1; // a write end of the same pipe, to wake the reader for its end
    int inWrite = -1;  // our end of the program's input
    pid_t pid = 0;
    std::string error;
    std::string errorClass;
    std::uint32_t exitCode = 0;
    std::thread worker;
    std::thread reader;

    void Wake() {
        const std::uint64_t one = 1;
        if (wake >= 0)
            (void)!::write(wake, &one, sizeof one);
    }
    void CloseAll() {
        for (int* fd : {&wake, &outRead, &outSpare, &inWrite})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
    }
};

TDosCommand::TDosCommand(QObject* parent) : QObject(parent) {}

TDosCommand::~TDosCommand() {
    if (FRun) {
        const std::shared_ptr<TRun> run = FRun;
        run->stop = true;
        run->Wake();
        if (run->worker.joinable())
            run->worker.join();
        FRun.reset();
    }
}

void TDosCommand::Execute() {
    if (FRun)
        throw EDosCommand("DosCommand still running");
    if (CommandLine.empty())
        throw EDosCommand("No Commandline to execute");
    Lines.clear();
    FExitCode = 0;
    FPid = 0;
    auto run = std::make_shared<TRun>();
    FRun = run;
    FEndStatus = esStill_Active;

    // The program, its arguments and its environment, made before the fork: the child may
    // only call what is safe between fork and exec.
    const std::vector<std::string> args = SplitCommandLine(CommandLine);
    const std::string program = args.empty() ? std::string() : ResolveProgram(args.front());
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e)
        envp.push_back(*e);
    for (const std::string& e : Environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const auto fail = [&](const char* cls, const std::string& message) {
        run->errorClass = cls;
        run->error = message;
        run->CloseAll();
        FEndStatus = esError;
        // The failure reaches the caller's thread like any end of a run.
        QMetaObject::invokeMethod(
            this, [this, run] { Completed(run); }, Qt::QueuedConnection);
    };

    int out[2] = {-1, -1}, in[2] = {-1, -1}, report[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0 ||
        ::pipe2(report, O_CLOEXEC) != 0) {
        const int err = errno;
        for (int fd : {out[0], out[1], in[0], in[1], report[0], report[1]})
            if (fd >= 0)
                ::close(fd);
        fail("ECreatePipeError", "Error creating Pipe: " + SystemMessage(err));
        return;
    }
    run->outRead = out[0];
    run->inWrite = in[1];
    run->outSpare = ::fcntl(out[1], F_DUPFD_CLOEXEC, 3);
    run->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Writing to a program that has gone raises no signal: the write fails instead.
    std::signal(SIGPIPE, SIG_IGN);

    const pid_t parent = ::getpid();
    const char* workDir = CurrentDir.empty() ? nullptr : CurrentDir.c_str();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child: ended with the thread that started it, its pipes on 0, 1 and 2, and no
        // other descriptor of ours.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::fcntl(report[1], F_SETFD, FD_CLOEXEC);
        for (int fd = 3; fd < 65536; ++fd)
            if (fd != report[1])
                ::close(fd);
        if (workDir != nullptr && ::chdir(workDir) != 0) {
            const int err = errno;
            (void)!::write(report[1], &err, sizeof err);
            ::_exit(127);
        }
        if (!program.empty())
            ::execve(program.c_str(), argv.data(), envp.data());
        const int err = program.empty() ? ENOENT : errno;
        (void)!::write(report[1], &err, sizeof err);
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(in[0]);
    ::close(out[1]);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        fail("ECreateProcessError",
             "Error creating Process: " + CommandLine + " - (" + SystemMessage(forkError) + ")");
        return;
    }
    // The report pipe closes on a successful exec; otherwise it carries the reason.
    int err = 0;
    ssize_t n;
    do
        n = ::read(report[0], &err, sizeof err);
    while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == sizeof err) {
        ::waitpid(pid, nullptr, 0);
        fail("ECreateProcessError",
             "Error creating Process: " + CommandLine + " - (" + SystemMessage(err) + ")");
        return;
    }
    run->pid = pid;
    FPid = pid;

    // The reader: blocks on the output and hands over whatever arrives.
    run->reader = std::thread([run] {
        char buffer[1024];
        for (;;) {
            const ssize_t got = ::read(run->outRead, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (run->readerStop)
                break;
            std::lock_guard guard(run->lock);
            if (got <= 0) {
                run->outputEnded = true;
                run->Wake();
                break;
            }
            run->output.append(buffer, static_cast<std::size_t>(got));
            run->Wake();
        }
    });

    // The worker: splits the output into lines, feeds the input, watches the program and
    // the time-outs, and ends the run.
    const bool inputToOutput = InputToOutput;
    const int maxBeginning = MaxTimeAfterBeginning;
    const int maxLastOutput = MaxTimeAfterLastOutput;
    const bool wantChars = static_cast<bool>(OnNewChar);
    QPointer<TDosCommand> self(this);
    run->worker = std::thread([this, run, inputToOutput, maxBeginning, maxLastOutput, wantChars] {
        const auto post = [this](auto&& f) {
            QMetaObject::invokeMethod(this, std::forward<decltype(f)>(f), Qt::QueuedConnection);
        };
        TLineSplitter splitter;
        const TClock::time_point begun = TClock::now();
        TClock::time_point lastOutput = begun;
        bool exited = false;
        int status = 0;
        const auto splitOutput = [&](const std::string& text) {
            if (wantChars)
                for (char c : text)
                    post([this, c] {
                        if (OnNewChar)
                            OnNewChar(this, c);
                    });
            const std::vector<std::string> lines = splitter.Feed(text);
            if (!lines.empty())
                lastOutput = TClock::now();
            for (const std::string& line : lines)
                post([this, line] {
                    Lines.push_back(line);
                    if (OnNewLine)
                        OnNewLine(this, line, otEntireLine);
                });
            if (!splitter.Pending().empty())
                post([this, begun = splitter.Pending()] {
                    if (OnNewLine)
                        OnNewLine(this, begun, otBeginningOfLine);
                });
        };
        const auto takeOutput = [&](bool& ended) {
            std::string text;
            std::lock_guard guard(run->lock);
            text.swap(run->output);
            ended = run->outputEnded;
            return text;
        };
        for (;;) {
            pollfd wait{run->wake, POLLIN, 0};
            ::poll(&wait, 1, 200);
            std::uint64_t count = 0;
            (void)!::read(run->wake, &count, sizeof count);
            bool ended = false;
            if (const std::string text = takeOutput(ended); !text.empty() && !run->stop)
                splitOutput(text);
            // Input, one queued line after the other.
            for (;;) {
                std::string line;
                {
                    std::lock_guard guard(run->lock);
                    if (run->input.empty() || run->stop)
                        break;
                    line = run->input.front();
                    run->input.pop_front();
                }
                std::string bytes = line.substr(1);
                if (line[0] == '_')
                    bytes += "\r\n";
                if (bytes.empty())
                    continue;
                for (std::size_t sent = 0; sent < bytes.size();) {
                    const ssize_t w =
                        ::write(run->inWrite, bytes.data() + sent, bytes.size() - sent);
                    if (w < 0 && errno == EINTR)
                        continue;
                    if (w <= 0)
                        break; // the program has closed its input: it is ending
                    sent += static_cast<std::size_t>(w);
                }
                if (inputToOutput) {
                    const std::string shown = splitter.TakePending() + line.substr(1);
                    post([this, shown] {
                        Lines.push_back(shown);
                        if (OnNewLine)
                            OnNewLine(this, shown, otEntireLine);
                    });
                }
            }
            if (!exited && ::waitpid(run->pid, &status, WNOHANG) == run->pid)
                exited = true;
            const auto seconds = [](TClock::duration d) {
                return std::chrono::duration_cast<std::chrono::seconds>(d).count();
            };
            if (run->stop || exited)
                break;
            if (maxBeginning > 0 && seconds(TClock::now() - begun) > maxBeginning)
                break;
            if (maxLastOutput > 0 && seconds(TClock::now() - lastOutput) > maxLastOutput)
                break;
        }

        TEndStatus endStatus = esProcess;
        if (!exited) {
            endStatus = run->stop ? esStop : esTime;
            post([this] {
                bool canTerminate = true;
                if (OnTerminateProcess)
                    OnTerminateProcess(this, canTerminate);
            });
            ::kill(run->pid, SIGKILL);
            ::waitpid(run->pid, &status, 0);
        } else {
            // What the program wrote last still counts: its last words often say why it
            // ended. The reader gets a moment to hand them over.
            const TClock::time_point until = TClock::now() + std::chrono::milliseconds(500);
            for (;;) {
                bool ended = false;
                if (const std::string text = takeOutput(ended); !text.empty())
                    splitOutput(text);
                if (ended || TClock::now() > until)
                    break;
                pollfd wait{run->wake, POLLIN, 0};
                ::poll(&wait, 1, 50);
                std::uint64_t count = 0;
                (void)!::read(run->wake, &count, sizeof count);
            }
        }
        FEndStatus = endStatus;
        if (const std::string rest = splitter.TakePending(); !rest.empty())
            post([this, rest] {
                Lines.push_back(rest);
                if (OnNewLine)
                    OnNewLine(this, rest, otEntireLine);
            });
        run->exitCode = WIFEXITED(status)     ? static_cast<std::uint32_t>(WEXITSTATUS(status))
                        : WIFSIGNALED(status) ? 128u + static_cast<std::uint32_t>(WTERMSIG(status))
                                              : 0u;
        // The reader ends: woken through our spare write end of its pipe.
        run->readerStop = true;
        const char filler[3] = {0, 0, 0};
        (void)!::write(run->outSpare, filler, sizeof filler);
        if (run->reader.joinable())
            run->reader.join();
        post([this, run] { Completed(run); });
    });
    Q_UNUSED(self);
}

void TDosCommand::Completed(const std::shared_ptr<TRun>& run) {
    if (FRun != run)
        return;
    if (run->worker.joinable())
        run->worker.join();
    run->CloseAll();
    FExitCode = run->exitCode;
    FRun.reset();
    if (!run->error.empty()) {
        const EDosCommand error(run->error);
        bool handled = false;
        try {
            if (OnExecuteError)
                OnExecuteError(this, error, handled);
        } catch (...) {
            handled = false;
        }
        if (!handled)
            ShowMessage(QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                        QString::fromStdString(run->errorClass) + QStringLiteral("\r\n") +
                            QString::fromStdString(run->error),
                        TMessageIcon::Error);
    }
    if (OnTerminated)
        OnTerminated(this);
}

void TDosCommand::SendLine(const std::string& value, bool eol) {
    if (!FRun)
        throw EDosCommand("DosCommand not running");
    {
        std::lock_guard guard(FRun->lock);
        FRun->input.push_back((eol ? "_" : " ") + value);
    }
    FRun->Wake();
}

void TDosCommand::Stop() {
    if (!FRun)
        return;
    FRun->stop = true;
    FRun->Wake();
}

} // namespace quorvel
