#include "record/DosCommand.h"

#include "record/CommandLine.h"
#include "support/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quorvel {

namespace {

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

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Signals an event (an eventfd); reading it back resets it, as an auto-reset event.
void Signal(int event) {
    const std::uint64_t one = 1;
    if (event >= 0)
        (void)!::write(event, &one, sizeof one);
}

void Reset(int event) {
    std::uint64_t count = 0;
    (void)!::read(event, &count, sizeof count);
}

int OpenPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        return static_cast<int>(fd);
    }
#else
    (void)pid;
#endif
    return -1;
}

// What the child reports through its report pipe when it cannot become the program.
struct TChildFailure {
    int step; // 0 exec, 1 working folder, 2 priority
    int err;
};

} // namespace

int NiceOfPriority(std::uint32_t priority, int inherited) {
    switch (priority) {
    case IDLE_PRIORITY_CLASS:
        return 19;
    case BELOW_NORMAL_PRIORITY_CLASS:
        return 10;
    case NORMAL_PRIORITY_CLASS:
        return inherited;
    case ABOVE_NORMAL_PRIORITY_CLASS:
        return -5;
    case HIGH_PRIORITY_CLASS:
        return -10;
    case REALTIME_PRIORITY_CLASS:
        return -20;
    default:
        throw EDosCommand("Invalid priority class: " + std::to_string(priority));
    }
}

// Counts whole seconds since the run began and since its last complete output line. It
// ticks on the thread that starts the runs (the user-interface thread), once a second, and
// each tick signals its event so that the worker looks at the time-outs.
class TProcessTimer : public QObject {
public:
    TProcessTimer() : Event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (Event < 0)
            throw EProcessTimer("could not start timer");
        FTimer.setInterval(1000);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            ++SinceBeginning;
            ++SinceLastOutput;
            Signal(Event);
        });
    }
    ~TProcessTimer() override { ::close(Event); }
    void Beginning() {
        SinceBeginning = 0;
        SinceLastOutput = 0;
        FTimer.start();
    }
    void Ending() { FTimer.stop(); }
    void NewOutput() { SinceLastOutput = 0; }

    std::atomic<int> SinceBeginning{0};
    std::atomic<int> SinceLastOutput{0};
    const int Event;

private:
    QTimer FTimer;
};

// One run: the settings taken at its start, and what the worker, the reader and the
// user-interface thread share.
struct TDosCommand::TRun {
    // The settings, as they were at Execute.
    std::string commandLine;
    std::string currentDir;
    std::vector<std::string> environment; // ours, then the extra entries
    bool inputToOutput = false;
    int maxTimeAfterBeginning = 0;
    int maxTimeAfterLastOutput = 0;
    int nice = 0;
    bool wantChars = false;
    bool wantOutputLines = false;
    TCharDecoding decoding;
    TCharEncoding encoding;
    TProcessTimer* timer = nullptr;

    // The input queue: marker "_" (line end) or " " (none), then the text.
    std::mutex inputLock;
    std::deque<std::string> input;
    int inputEvent = -1;
    // The reader's decoded text, not yet split, and its event.
    std::mutex outputLock;
    std::string output;
    int readerEvent = -1;
    std::atomic<bool> readerStop{false};
    // Stop asks the worker to end the run.
    std::atomic<bool> stop{false};
    int terminateEvent = -1;

    int outRead = -1;  // our end of the program's output
    int outSpare = -1; // a write end of the same pipe, to wake the reader for its end
    int inWrite = -1;  // our end of the program's input
    pid_t pid = 0;
    int pidfd = -1;
    pid_t watcher = 0;          // sends the program SIGTERM should we go away
    int watchWrite = -1;        // its pipe, whose end tells it that we have
    std::exception_ptr failure; // the error that ended the run, as it was raised
    std::string error;
    std::string errorClass;
    std::uint32_t exitCode = 0;
    std::thread worker;

    ~TRun() {
        for (int* fd :
             {&inputEvent, &readerEvent, &terminateEvent, &outRead, &outSpare, &inWrite, &pidfd})
            CloseFd(*fd);
    }
};

TDosCommand::TDosCommand(QObject* parent) : QObject(parent) {}

// A runner destroyed during a run ends its program by force and waits for its worker, which
// closes every descriptor of the run.
TDosCommand::~TDosCommand() {
    if (FRun) {
        const std::shared_ptr<TRun> run = FRun;
        Stop();
        if (run->worker.joinable())
            run->worker.join();
        FRun.reset();
    }
}

void TDosCommand::SetOnCharDecoding(TCharDecoding decoding) {
    if (FRun)
        throw EDosCommand("DosCommand still running");
    FOnCharDecoding = std::move(decoding);
}

void TDosCommand::SetOnCharEncoding(TCharEncoding encoding) {
    if (FRun)
        throw EDosCommand("DosCommand still running");
    FOnCharEncoding = std::move(encoding);
}

void TDosCommand::Execute() {
    if (FRun)
        throw EDosCommand("DosCommand still running");
    if (CommandLine.empty())
        throw EDosCommand("No Commandline to execute");
    errno = 0;
    const int inherited = ::getpriority(PRIO_PROCESS, 0);
    const int nice = NiceOfPriority(Priority, inherited);
    if (!FTimer)
        FTimer = std::make_unique<TProcessTimer>();

    auto run = std::make_shared<TRun>();
    run->commandLine = CommandLine;
    run->currentDir = CurrentDir;
    // Our environment as it is now, then the extra entries after it, not merged with it.
    if (!Environment.empty()) {
        for (char** e = environ; e != nullptr && *e != nullptr; ++e)
            run->environment.emplace_back(*e);
        run->environment.insert(run->environment.end(), Environment.begin(), Environment.end());
    }
    run->inputToOutput = InputToOutput;
    run->maxTimeAfterBeginning = MaxTimeAfterBeginning;
    run->maxTimeAfterLastOutput = MaxTimeAfterLastOutput;
    run->nice = nice;
    run->wantChars = static_cast<bool>(OnNewChar);
    run->wantOutputLines = OutputLines != nullptr;
    run->decoding = FOnCharDecoding;
    run->encoding = FOnCharEncoding;
    run->timer = FTimer.get();
    run->inputEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    run->readerEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    run->terminateEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (run->inputEvent < 0 || run->readerEvent < 0 || run->terminateEvent < 0)
        throw EDosCommand("DosCommand cannot create its events: " + SystemMessage(errno));
    // Writing to a program that has gone raises no signal here: the write fails instead.
    std::signal(SIGPIPE, SIG_IGN);

    Lines.clear();
    FExitCode = 0;
    FProcessInformation = {};
    FTimer->Beginning();
    FRun = run;
    FEndStatus = esStill_Active;
    run->worker = std::thread([this, run] { Worker(run); });
}

// The worker of one run: creates the pipes and the program, then splits the output into
// lines, feeds the input, watches the program and the time-outs, and ends the run.
void TDosCommand::Worker(const std::shared_ptr<TRun>& run) {
    pthread_setname_np(pthread_self(), "TDosThread");
    const auto post = [this](auto&& f) {
        QMetaObject::invokeMethod(this, std::forward<decltype(f)>(f), Qt::QueuedConnection);
    };
    const auto addLine = [this, run, &post](const std::string& line) {
        post([this, line, toOutput = run->wantOutputLines] {
            Lines.push_back(line);
            if (toOutput && OutputLines != nullptr)
                OutputLines->push_back(line);
            if (OnNewLine)
                OnNewLine(this, line, otEntireLine);
        });
    };
    std::thread reader;
    TLineSplitter splitter;
    int status = 0;
    bool reaped = false;

    try {
        // The pipes: the program's output (standard error too) and its input. Ours are
        // kept from the program; its own ends are inherited only as 0, 1 and 2.
        int out[2] = {-1, -1}, in[2] = {-1, -1}, report[2] = {-1, -1};
        const auto closeAll = [&] {
            for (int* fd : {&out[0], &out[1], &in[0], &in[1], &report[0], &report[1]})
                CloseFd(*fd);
        };
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0 ||
            ::pipe2(report, O_CLOEXEC) != 0 ||
            (run->outSpare = ::fcntl(out[1], F_DUPFD_CLOEXEC, 3)) < 0) {
            const int err = errno;
            closeAll();
            throw ECreatePipeError("Error creating Pipe: " + SystemMessage(err));
        }

        // The program, its arguments and its environment, made before the fork: the child
        // may only call what is safe between fork and exec.
        const std::vector<std::string> args = SplitCommandLine(run->commandLine);
        const std::string program = args.empty() ? std::string() : ResolveProgram(args.front());
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : run->environment)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        char** const childEnv = run->environment.empty() ? environ : envp.data();
        const char* workDir = run->currentDir.empty() ? nullptr : run->currentDir.c_str();
        const int nice = run->nice;

        const pid_t pid = ::fork();
        if (pid == 0) {
            // The child: in a process group of its own, its pipes on 0, 1 and 2, no other
            // descriptor of ours, and the default for the signals we ignore.
            const auto failed = [&](int step) {
                const TChildFailure f{step, errno};
                (void)!::write(report[1], &f, sizeof f);
                ::_exit(127);
            };
            ::setpgid(0, 0);
            ::signal(SIGPIPE, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(out[1], 2);
            const int keep = report[1];
            for (int fd = 3; fd < keep; ++fd)
                ::close(fd);
#ifdef SYS_close_range
            if (::syscall(SYS_close_range, keep + 1, ~0U, 0) != 0)
#endif
                for (int fd = keep + 1; fd < 65536; ++fd)
                    ::close(fd);
            errno = 0;
            if (::getpriority(PRIO_PROCESS, 0) != nice && ::setpriority(PRIO_PROCESS, 0, nice) != 0)
                failed(2);
            if (workDir != nullptr && ::chdir(workDir) != 0)
                failed(1);
            if (!program.empty())
                ::execve(program.c_str(), argv.data(), childEnv);
            else
                errno = ENOENT;
            failed(0);
        }
        const int forkError = errno;
        CloseFd(in[0]);
        CloseFd(out[1]);
        CloseFd(report[1]);
        run->outRead = out[0];
        run->inWrite = in[1];
        out[0] = in[1] = -1;
        if (pid < 0) {
            CloseFd(report[0]);
            throw ECreateProcessError("Error creating Process: " + run->commandLine + " - (" +
                                      SystemMessage(forkError) + ")");
        }
        // The report pipe closes on a successful exec; otherwise it carries the reason.
        TChildFailure failure{};
        ssize_t n;
        do
            n = ::read(report[0], &failure, sizeof failure);
        while (n < 0 && errno == EINTR);
        CloseFd(report[0]);
        if (n == sizeof failure) {
            ::waitpid(pid, nullptr, 0);
            reaped = true;
            std::string reason = SystemMessage(failure.err);
            if (failure.step == 2)
                reason += ", the priority class asks for nice " + std::to_string(nice) +
                          " and only a privileged user may raise a program's priority";
            throw ECreateProcessError("Error creating Process: " + run->commandLine + " - (" +
                                      reason + ")");
        }
        run->pid = pid;
        run->pidfd = OpenPidfd(pid);

        // A program whose runner goes away (this process crashes or is killed) gets one
        // SIGTERM, so that it can finish its work: an encoder then writes its file whole.
        // The parent-death signal cannot do this: the kernel sends it again each time the
        // program passes from one dying thread of ours to the next, and an encoder that gets
        // four signals ends at once, unfinished. So a small process of ours watches instead:
        // it waits on a pipe whose only writer is this process. At the run's end the worker
        // writes one byte into it and the watcher ends quietly; an end of the pipe with no
        // byte means that this process has gone, and the watcher signals the program once.
        int watch[2] = {-1, -1};
        if (::pipe2(watch, O_CLOEXEC) == 0) {
            const int programFd = run->pidfd;
            const pid_t watcher = ::fork();
            if (watcher == 0) {
                ::setpgid(0, pid);
                for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
                    ::signal(sig, SIG_IGN);
                ::dup2(watch[0], 0);
                if (programFd >= 0)
                    ::dup2(programFd, 1);
                else
                    ::close(1);
#ifdef SYS_close_range
                if (::syscall(SYS_close_range, 2, ~0U, 0) != 0)
#endif
                    for (int fd = 2; fd < 65536; ++fd)
                        ::close(fd);
                char byte;
                ssize_t got;
                do
                    got = ::read(0, &byte, 1);
                while (got < 0 && errno == EINTR);
                if (got == 0) {
#ifdef SYS_pidfd_send_signal
                    if (programFd < 0 ||
                        ::syscall(SYS_pidfd_send_signal, 1, SIGTERM, nullptr, 0) != 0)
#endif
                        ::kill(pid, SIGTERM);
                }
                ::_exit(0);
            }
            ::close(watch[0]);
            run->watchWrite = watch[1];
            run->watcher = watcher > 0 ? watcher : 0;
        }
        post([this, info = TProcessInformation{pid, pid, run->pidfd}] {
            FProcessInformation = info;
        });

        // The reader: blocks on the output and hands over whatever arrives, decoded.
        reader = std::thread([this, run] {
            pthread_setname_np(pthread_self(), "TReadPipe");
            char buffer[1024];
            for (;;) {
                const ssize_t got = ::read(run->outRead, buffer, sizeof buffer);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0 && errno != EPIPE)
                    std::fprintf(stderr, "EXCEPTION: TReadPipe Execute %s\n",
                                 SystemMessage(errno).c_str());
                if (run->readerStop || got <= 0)
                    break;
                const std::string bytes(buffer, static_cast<std::size_t>(got));
                std::string text;
                try {
                    text = run->decoding ? run->decoding(this, bytes) : bytes;
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "EXCEPTION: TReadPipe Execute %s\n", e.what());
                    break;
                }
                {
                    std::lock_guard guard(run->outputLock);
                    run->output += text;
                }
                Signal(run->readerEvent);
            }
        });

        // One chunk of text into lines; a stop leaves the rest of it.
        const auto split = [&](const std::string& text) {
            splitter.Walk(
                text, [&] { return run->stop.load(); },
                [&](char c) {
                    if (run->wantChars)
                        post([this, c] {
                            if (OnNewChar)
                                OnNewChar(this, c);
                        });
                },
                [&](const std::string& line) {
                    run->timer->NewOutput();
                    addLine(line);
                });
            if (!splitter.Pending().empty()) {
                post([this, begun = splitter.Pending()] {
                    if (OnNewLine)
                        OnNewLine(this, begun, otBeginningOfLine);
                });
            }
        };
        const auto takeOutput = [&] {
            std::string text;
            std::lock_guard guard(run->outputLock);
            text.swap(run->output);
            return text;
        };
        // The first queued input line to the program.
        const auto sendInput = [&] {
            std::string line;
            {
                std::lock_guard guard(run->inputLock);
                if (run->input.empty())
                    return;
                line = run->input.front();
            }
            std::string text = line.substr(1);
            if (line[0] == '_')
                text += "\r\n";
            if (!text.empty()) {
                std::string bytes;
                if (run->encoding)
                    run->encoding(this, text, bytes);
                else
                    bytes = text;
                ssize_t w;
                do
                    w = ::write(run->inWrite, bytes.data(), bytes.size());
                while (w < 0 && errno == EINTR);
                if (w != static_cast<ssize_t>(bytes.size()))
                    throw EAssertionFailed("Writing to the program's input failed: " +
                                           SystemMessage(w < 0 ? errno : EIO));
                if (run->inputToOutput) {
                    const std::string shown = splitter.TakePending() + line.substr(1);
                    post([this, shown, toOutput = run->wantOutputLines] {
                        if (toOutput && OutputLines != nullptr)
                            OutputLines->push_back(shown);
                        if (OnNewLine)
                            OnNewLine(this, shown, otEntireLine);
                    });
                }
            }
            std::lock_guard guard(run->inputLock);
            run->input.pop_front();
            if (!run->input.empty())
                Signal(run->inputEvent);
        };
        const auto exited = [&] {
            if (!reaped && ::waitpid(run->pid, &status, WNOHANG) == run->pid)
                reaped = true;
            return reaped;
        };

        // The wait: the first of the reader's event, the input's, the program's end, the
        // terminate event and the timer's, in that order. Without a pidfd the program is
        // looked at every 100 ms instead.
        exited();
        pollfd waits[5] = {{run->readerEvent, POLLIN, 0},
                           {run->inputEvent, POLLIN, 0},
                           {run->pidfd, POLLIN, 0},
                           {run->terminateEvent, POLLIN, 0},
                           {run->timer->Event, POLLIN, 0}};
        while (!run->stop && !reaped) {
            if (::poll(waits, 5, run->pidfd >= 0 ? -1 : 100) < 0 && errno != EINTR)
                throw EAssertionFailed("Waiting for the program failed: " + SystemMessage(errno));
            int index = -1;
            for (int i = 0; i < 5 && index < 0; ++i)
                if ((waits[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
                    index = i;
            switch (index) {
            case 0:
                Reset(run->readerEvent);
                for (std::string text = takeOutput(); !text.empty(); text = takeOutput())
                    split(text);
                break;
            case 1:
                Reset(run->inputEvent);
                if (!run->stop)
                    sendInput();
                break;
            case 3:
                Reset(run->terminateEvent);
                break;
            case 4:
                Reset(run->timer->Event);
                break;
            default:
                break;
            }
            if (run->stop || exited())
                break;
            if (run->maxTimeAfterBeginning > 0 &&
                run->timer->SinceBeginning > run->maxTimeAfterBeginning)
                break;
            if (run->maxTimeAfterLastOutput > 0 &&
                run->timer->SinceLastOutput > run->maxTimeAfterLastOutput)
                break;
        }

        if (!reaped) {
            // Ended by force: Stop or a time-out. The program is killed and its exit code,
            // as a forced end sets it, is 0.
            FEndStatus = run->stop ? esStop : esTime;
            post([this] {
                bool canTerminate = true;
                if (OnTerminateProcess)
                    OnTerminateProcess(this, canTerminate);
            });
            ::kill(run->pid, SIGKILL);
            ::waitpid(run->pid, nullptr, 0);
            reaped = true;
            status = 0;
        } else {
            FEndStatus = esProcess;
            // What the program wrote last still counts: its last words often say why it
            // ended. What is still in the pipe or with the reader is taken, for at most
            // half a second.
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
            for (int quiet = 0; quiet < 2 && std::chrono::steady_clock::now() < until;) {
                int unread = 0;
                ::ioctl(run->outRead, FIONREAD, &unread);
                const std::string text = takeOutput();
                if (!text.empty())
                    split(text);
                quiet = unread == 0 && text.empty() ? quiet + 1 : 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (const std::string rest = splitter.TakePending(); !rest.empty())
            addLine(rest);
    } catch (const EDosCommand& e) {
        std::fprintf(stderr, "EXCEPTION: TDosThread %s\n", e.what());
        run->failure = std::current_exception();
        run->errorClass = e.ClassName();
        run->error = e.what();
        FEndStatus = esError;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "EXCEPTION: TDosThread %s\n", e.what());
        run->failure = std::make_exception_ptr(EDosCommand(e.what()));
        run->errorClass = "EDosCommand";
        run->error = e.what();
        FEndStatus = esError;
    }

    // Always, after an error too: the program does not outlive its run, the reader ends
    // (woken through our spare write end of its pipe) and our ends of the pipes close.
    if (run->watchWrite >= 0)
        (void)!::write(run->watchWrite, "", 1);
    CloseFd(run->watchWrite);
    if (run->watcher > 0)
        ::waitpid(run->watcher, nullptr, 0);
    if (run->pid > 0 && !reaped) {
        ::kill(run->pid, SIGKILL);
        ::waitpid(run->pid, &status, 0);
    }
    run->exitCode = WIFEXITED(status)     ? static_cast<std::uint32_t>(WEXITSTATUS(status))
                    : WIFSIGNALED(status) ? 128u + static_cast<std::uint32_t>(WTERMSIG(status))
                                          : 0u;
    if (reader.joinable()) {
        run->readerStop = true;
        const char filler[3] = {0, 0, 0};
        if (::write(run->outSpare, filler, sizeof filler) != sizeof filler && !run->failure) {
            run->error = "Waking the output reader failed: " + SystemMessage(errno);
            run->errorClass = "EAssertionFailed";
            run->failure = std::make_exception_ptr(EAssertionFailed(run->error));
            FEndStatus = esError;
        }
        reader.join();
    }
    CloseFd(run->outRead);
    CloseFd(run->inWrite);
    CloseFd(run->outSpare);
    post([this, run] { Completed(run); });
}

// The end of a run on the user-interface thread: from here on IsRunning is false.
void TDosCommand::Completed(const std::shared_ptr<TRun>& run) {
    if (FRun != run)
        return;
    if (run->worker.joinable())
        run->worker.join();
    FExitCode = run->exitCode;
    if (FTimer)
        FTimer->Ending();
    // The program's handle lasts as long as its run.
    FProcessInformation.ProcessHandle = -1;
    CloseFd(run->pidfd);
    FRun.reset();
    if (run->failure) {
        bool handled = false;
        try {
            std::rethrow_exception(run->failure);
        } catch (const EDosCommand& error) {
            try {
                if (OnExecuteError)
                    OnExecuteError(this, error, handled);
            } catch (...) {
                handled = false;
            }
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
        std::lock_guard guard(FRun->inputLock);
        FRun->input.push_back((eol ? "_" : " ") + value);
    }
    Signal(FRun->inputEvent);
}

void TDosCommand::Stop() {
    if (!FRun)
        return;
    FRun->stop = true;
    Signal(FRun->terminateEvent);
}

} // namespace quorvel
