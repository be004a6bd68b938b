#include "DesktopSession.h"
#include "SoundServer.h"

#include <QBuffer>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvel::test {

namespace fs = std::filesystem;

std::string QuorvelBinary() {
    return QUORVEL_BIN;
}
std::string QuorvelCtlBinary() {
    return QUORVELCTL_BIN;
}
std::string TestWindowBinary() {
    return QUORVEL_TEST_WINDOW_BIN;
}

namespace {

// True while the process is a child of ours that has not been waited for, running or
// ended: until then its number cannot go to another process, so signalling it is safe.
bool Unreaped(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts Xvfb and reads the display number it picked from the descriptor it writes to.
// Servers started at the same moment by tests running side by side can pick the same free
// number and end up sharing one display, so the choice is made one server at a time.
pid_t StartXvfb(int width, int height, int depth, const std::string& logPath,
                std::string& display) {
    const int lock = ::open("/tmp/quorvel-xvfb-start.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    struct TUnlock {
        int fd;
        ~TUnlock() {
            if (fd >= 0)
                ::close(fd);
        }
    } unlock{lock};
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(log, 1);
        ::dup2(log, 2);
        const std::string fd = std::to_string(pipeFds[1]);
        const std::string screen =
            std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
        // No reset when the last client leaves: the polls that wait for the window manager
        // connect and leave, and a connection made while the server resets is refused.
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                 "-nolisten", "tcp", "-noreset", "+extension", "RANDR",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string number;
    char c;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n')
        number.push_back(c);
    ::close(pipeFds[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not start");
    display = ":" + number;
    return pid;
}

} // namespace

TDesktopSession::TDesktopSession(int width, int height, int depth) {
    std::string pattern = (fs::temp_directory_path() / "quorvel-desktop-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp");
    FRoot = pattern;
    for (const char* sub : {"config/Marbask", "runtime", "home/Desktop", "out"})
        fs::create_directories(FRoot + "/" + sub);
    ::chmod((FRoot + "/runtime").c_str(), 0700);
    ::setenv("XDG_CONFIG_HOME", (FRoot + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (FRoot + "/runtime").c_str(), 1);
    ::setenv("HOME", (FRoot + "/home").c_str(), 1);
    ::setenv("LANG", "C.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("QT_SCALE_FACTOR");
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    std::string display;
    FChildren.push_back(StartXvfb(width, height, depth, FRoot + "/xvfb.log", display));
    ::setenv("DISPLAY", display.c_str(), 1);
    FWindowManager =
        Start({"openbox", "--config-file", QUORVEL_SOURCE_DIR "/tests/x11/openbox-rc.xml"},
              "openbox.log");
    // The window manager is up once it has claimed the screen and said what it supports.
    const bool managed = WaitUntil(
        [&] {
            return Status("xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW") ==
                   0;
        },
        10000);
    if (!managed) {
        const std::string log = ReadAll(FRoot + "/openbox.log") + "display " + display +
                                ", X server " + (Alive(FChildren.front()) ? "running" : "gone") +
                                ":\n" + ReadAll(FRoot + "/xvfb.log");
        Shutdown();
        throw std::runtime_error("the window manager did not come up: " + log);
    }
    Status("xsetroot -solid '#2a5d8c'");
}

TDesktopSession::~TDesktopSession() {
    if (FailureCheck != nullptr && FailureCheck())
        ReportFailure();
    Shutdown();
}

void TDesktopSession::Shutdown() {
    // Only children not yet waited for are signalled: the number of one already waited for
    // may belong to any process by now, such as a desktop of a test running alongside.
    std::vector<pid_t> killed;
    for (auto it = FChildren.rbegin(); it != FChildren.rend(); ++it)
        if (Unreaped(*it)) {
            ::kill(*it, SIGKILL);
            killed.push_back(*it);
        }
    for (pid_t pid : killed)
        ::waitpid(pid, nullptr, 0);
    FChildren.clear();
    std::error_code ec;
    fs::remove_all(FRoot, ec);
}

void TDesktopSession::ReportFailure() const {
    std::ostringstream report;
    report << "---- desktop " << std::getenv("DISPLAY") << " at the failure\n"
           << "window manager " << (Alive(FWindowManager) ? "running" : "gone")
           << ", active window " << Output("xdotool getactivewindow 2>&1")
           << Output("for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do "
                     "echo \"window $w: $(xdotool getwindowname $w 2>&1)\"; done");
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(FRoot, ec)) {
        if (entry.path().extension() != ".log")
            continue;
        // The last lines are the ones that tell.
        report << "---- " << entry.path().filename().string() << "\n"
               << Output("tail -n 40 '" + entry.path().string() + "'") << "\n";
    }
    std::fputs(report.str().c_str(), stderr);
}

void TDesktopSession::WriteSettings(const std::string& lines) const {
    std::ofstream(ConfigFile()) << "[General]\n" << lines;
}

std::string TDesktopSession::ReadSettings() const {
    return ReadAll(ConfigFile());
}

pid_t TDesktopSession::Start(const std::vector<std::string>& argv, const std::string& logName,
                             const std::vector<std::string>& env) {
    const std::string log = FRoot + "/" + logName;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        for (const std::string& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    FChildren.push_back(pid);
    return pid;
}

bool TDesktopSession::StartQuorvel(const std::vector<std::string>& args,
                                   const std::vector<std::string>& env) {
    std::vector<std::string> argv{QuorvelBinary()};
    argv.insert(argv.end(), args.begin(), args.end());
    // Each start logs to a file of its own, so that an earlier run's lines do not count.
    FQuorvelLog = "quorvel-" + std::to_string(++FQuorvelStarts) + ".log";
    FQuorvel = Start(argv, FQuorvelLog, env);
    return WaitUntil([&] { return QuorvelLog().find("quorvel: ready") != std::string::npos; },
                     10000);
}

void TDesktopSession::StopQuorvel() {
    Status(QuorvelCtlBinary() + " --exit >/dev/null 2>&1");
    if (!WaitUntil([&] { return !Alive(FQuorvel); }, 5000))
        Stop(FQuorvel);
}

std::string TDesktopSession::QuorvelLog() const {
    return ReadAll(FRoot + "/" + FQuorvelLog);
}

int Differences(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
    return count;
}

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms * TimeScale()));
}

std::string TDesktopSession::Setting(const std::string& name) const {
    const std::string text = "\n" + ReadSettings();
    const std::size_t at = text.find("\n" + name + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + name.size() + 2;
    const std::size_t end = text.find('\n', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int TimeScale() {
    return std::getenv("QUORVEL_SANITIZED") != nullptr ? 4 : 1;
}

int TDesktopSession::RunQuorvel(const std::vector<std::string>& args, int timeoutMs) {
    std::vector<std::string> argv{QuorvelBinary()};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = Start(argv, "second.log");
    int status = 0;
    const bool ended =
        WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
    if (!ended)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string TDesktopSession::Output(const std::string& command) const {
    std::string result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.append(buffer.data(), n);
    ::pclose(pipe);
    return result;
}

int TDesktopSession::Status(const std::string& command) const {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TDesktopSession::Ctl(const std::string& argument) const {
    std::string quoted = "'";
    for (char c : argument)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    std::string out = Output(QuorvelCtlBinary() + " " + quoted + " 2>&1");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

QImage TDesktopSession::Screenshot() const {
    const std::string path = FRoot + "/screen.png";
    Status("import -window root " + path);
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
}

bool TDesktopSession::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs * TimeScale());
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return done();
}

bool TDesktopSession::Alive(pid_t pid) {
    // A child that has ended is waited for here; one waited for before is no longer ours.
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

void TDesktopSession::Stop(pid_t pid) {
    if (!Unreaped(pid))
        return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

int TDesktopSession::ListeningPort(const std::string& logName) const {
    int port = 0;
    WaitUntil(
        [&] {
            std::ifstream in(FRoot + "/" + logName);
            std::string line;
            std::getline(in, line);
            const std::size_t colon = line.rfind(':');
            if (line.find("listening") != std::string::npos && colon != std::string::npos)
                port = std::atoi(line.c_str() + colon + 1);
            return port > 0;
        },
        5000);
    return port;
}

unsigned long TDesktopSession::VisibleWindow(const std::string& title) const {
    const std::string out =
        Output("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -1");
    return out.empty() ? 0 : std::stoul(out);
}

bool TDesktopSession::Activate(unsigned long window) const {
    const std::string id = std::to_string(window);
    return WaitUntil(
        [&] {
            Status("timeout 10 xdotool windowactivate --sync " + id + " >/dev/null 2>&1");
            const std::string active = Output("xdotool getactivewindow 2>/dev/null");
            return !active.empty() && std::stoul(active) == window;
        },
        10000);
}

unsigned long TDesktopSession::MessageWindow() const {
    // The program gives its message boxes a window role of their own.
    const std::string out =
        Output("for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do "
               "xprop -id $w WM_WINDOW_ROLE 2>/dev/null | grep -q '\"quorvel-message\"' && "
               "echo $w && break; done");
    return out.empty() ? 0 : std::stoul(out);
}

bool TDesktopSession::AnswerMessage(const std::string& key, int timeoutMs) {
    bool shown = false;
    return WaitUntil(
        [&] {
            const unsigned long box = MessageWindow();
            if (box == 0)
                return shown;
            shown = true;
            Activate(box);
            Status("xdotool key --clearmodifiers " + key);
            return WaitUntil([&] { return MessageWindow() != box; }, 500);
        },
        timeoutMs);
}

unsigned long TDesktopSession::ShowPatternWindow(const std::string& title, int width, int height,
                                                 int x, int y) {
    Start({TestWindowBinary(), title, std::to_string(width), std::to_string(height),
           std::to_string(x), std::to_string(y)},
          "window.log");
    unsigned long id = 0;
    if (!WaitUntil([&] { return (id = VisibleWindow(title)) != 0; }, 10000))
        throw std::runtime_error("the pattern window \"" + title + "\" did not show");
    const bool framed = WaitUntil(
        [&] {
            return Status("xprop -id " + std::to_string(id) +
                          " _NET_FRAME_EXTENTS 2>/dev/null | grep -q '='") == 0;
        },
        10000);
    if (!framed || !Activate(id))
        throw std::runtime_error("the pattern window \"" + title + "\" was not " +
                                 (framed ? "activated" : "framed"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300 * TimeScale()));
    return id;
}

bool TDesktopSession::StartSoundServer() {
    Start(SoundServerCommand(), "pulseaudio.log");
    return WaitUntil([&] { return Status(SoundServerReady()) == 0; }, 10000);
}

void TDesktopSession::StartWatchingSound() {
    std::remove((FRoot + "/sound-events.log").c_str());
    // Line-buffered, so that every event is in the file when the watcher is stopped.
    FSoundWatcher = Start({"stdbuf", "-oL", "pactl", "subscribe"}, "sound-events.log");
    WaitUntil([&] { return Status("pactl list short clients 2>/dev/null | grep -q pactl") == 0; },
              5000);
}

int TDesktopSession::StopWatchingSound() {
    if (FSoundWatcher > 0) {
        if (Unreaped(FSoundWatcher)) {
            ::kill(FSoundWatcher, SIGTERM);
            ::waitpid(FSoundWatcher, nullptr, 0);
        }
        FSoundWatcher = -1;
    }
    const std::string events = ReadAll(FRoot + "/sound-events.log");
    int streams = 0;
    for (std::size_t at = events.find("'new' on sink-input"); at != std::string::npos;
         at = events.find("'new' on sink-input", at + 1))
        ++streams;
    return streams;
}

bool TDesktopSession::StartTray() {
    Start({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width",
           "200", "--heighttype", "pixel", "--height", "32", "--SetDockType", "true",
           "--transparent", "false", "--tint", "0x808080"},
          "trayer.log");
    // The tray is there once it owns the notification-area selection.
    return WaitUntil([&] { return Status("xdotool search --name '^panel$' >/dev/null 2>&1") == 0; },
                     10000);
}

std::string TDesktopSession::NewestCapture() const {
    std::string newest;
    fs::file_time_type time{};
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(SaveFolder(), ec)) {
        // A save in progress writes a hidden part file that is renamed or removed at any
        // moment; only finished captures count.
        if (entry.path().filename().string().starts_with("."))
            continue;
        const fs::file_time_type written = entry.last_write_time(ec);
        if (ec || !entry.is_regular_file(ec))
            continue;
        if (newest.empty() || written > time) {
            newest = entry.path().string();
            time = written;
        }
    }
    return newest;
}

} // namespace quorvel::test
