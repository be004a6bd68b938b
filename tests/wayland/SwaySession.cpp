#include "SwaySession.h"
#include "SoundServer.h"
#include "capture/SelectionImage.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvel::test {

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int TimeScale() {
    return std::getenv("QUORVEL_SANITIZED") != nullptr ? 4 : 1;
}

} // namespace

QImage PatternPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb((x * 7 + y * 3) & 0xFF, (x * 13 + y * 29) & 0xFF, (x ^ y) & 0xFF);
    }
    return image;
}

int PixelDifferences(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
    return count;
}

TSwaySession::TSwaySession(const QImage& background, int width, int height, int scale) {
    std::string pattern = (fs::temp_directory_path() / "quorvel-sway-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp");
    FRoot = pattern;
    for (const char* sub : {"config/Marbask", "runtime", "home", "out"})
        fs::create_directories(FRoot + "/" + sub);
    ::chmod((FRoot + "/runtime").c_str(), 0700);
    ::setenv("XDG_CONFIG_HOME", (FRoot + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (FRoot + "/runtime").c_str(), 1);
    ::setenv("HOME", (FRoot + "/home").c_str(), 1);
    ::setenv("LANG", "C.UTF-8", 1);
    ::setenv("XDG_SESSION_TYPE", "wayland", 1);
    ::setenv("QT_QPA_PLATFORM", "wayland", 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("SWAYSOCK");
    ::unsetenv("LC_ALL");
    ::unsetenv("QT_SCALE_FACTOR");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");

    const std::string picture = FRoot + "/background.png";
    background.save(QString::fromStdString(picture), "PNG");
    std::ofstream(FRoot + "/sway.config")
        << "xwayland disable\n"
        << "default_border none\n"
        << "default_floating_border none\n"
        << "focus_follows_mouse no\n"
        << "output HEADLESS-1 resolution " << width << "x" << height << " position 0 0 scale "
        << scale << " bg " << picture << " center #000000\n";

    const pid_t sway = ::fork();
    if (sway == 0) {
        const int log = ::open((FRoot + "/sway.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::setenv("WLR_BACKENDS", "headless", 1);
        ::setenv("WLR_RENDERER", "pixman", 1);
        ::setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
        ::execlp("sway", "sway", "-c", (FRoot + "/sway.config").c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    FChildren.push_back(sway);
    // The compositor is up once its socket is there; the desktop is ready once the
    // background is on the output.
    std::string socket;
    WaitUntil(
        [&] {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(FRoot + "/runtime", ec)) {
                const std::string name = e.path().filename().string();
                if (name.starts_with("wayland-") && !name.ends_with(".lock"))
                    socket = name;
            }
            return !socket.empty();
        },
        10000);
    if (socket.empty()) {
        const std::string log = ReadAll(FRoot + "/sway.log");
        Shutdown();
        throw std::runtime_error("sway did not come up:\n" + log);
    }
    ::setenv("WAYLAND_DISPLAY", socket.c_str(), 1);
    // swaymsg finds the compositor through its IPC socket, named only in sway's own
    // environment.
    WaitUntil(
        [&] {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(FRoot + "/runtime", ec))
                if (e.path().filename().string().starts_with("sway-ipc.")) {
                    ::setenv("SWAYSOCK", e.path().c_str(), 1);
                    return true;
                }
            return false;
        },
        10000);
    WaitUntil([&] { return Status("grim " + FRoot + "/ready.png 2>/dev/null") == 0; }, 10000);
    // The background comes a moment after the output can be read: a picture that fills the
    // output is waited for.
    if (background.width() == width && background.height() == height)
        WaitUntil([&] { return PixelDifferences(Grim(), background) == 0; }, 10000);
}

TSwaySession::~TSwaySession() {
    Shutdown();
}

void TSwaySession::Shutdown() {
    // Only children not yet waited for are signalled: the number of one already waited for
    // may belong to another process by now.
    for (auto it = FChildren.rbegin(); it != FChildren.rend(); ++it) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(*it), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
            ::kill(*it, SIGTERM);
            ::waitpid(*it, nullptr, 0);
        }
    }
    FChildren.clear();
    if (!FRoot.empty()) {
        std::error_code ec;
        fs::remove_all(FRoot, ec);
        FRoot.clear();
    }
}

void TSwaySession::WriteSettings(const std::string& lines) const {
    std::ofstream(FRoot + "/config/Marbask/Quorvel.conf") << "[General]\n" << lines;
}

std::string TSwaySession::Setting(const std::string& name) const {
    const std::string text = "\n" + ReadAll(FRoot + "/config/Marbask/Quorvel.conf");
    const std::size_t at = text.find("\n" + name + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + name.size() + 2;
    const std::size_t end = text.find('\n', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

pid_t TSwaySession::Start(const std::vector<std::string>& argv, const std::string& logName) {
    const std::string log = FRoot + "/" + logName;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
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

bool TSwaySession::StartSessionBus() {
    const std::string address = "unix:path=" + FRoot + "/runtime/bus";
    Start({"dbus-daemon", "--session", "--nofork", "--address=" + address}, "dbus.log");
    if (!WaitUntil([&] { return fs::exists(FRoot + "/runtime/bus"); }, 5000))
        return false;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    return true;
}

bool TSwaySession::WaitForBusName(const std::string& name) {
    return WaitUntil(
        [&] {
            return Output("gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus "
                          "-m org.freedesktop.DBus.NameHasOwner " +
                          name + " 2>/dev/null")
                       .find("true") != std::string::npos;
        },
        10000);
}

bool TSwaySession::StartShortcutService(const std::string& portal) {
    if (!StartSessionBus())
        return false;
    // Qt 5's service has no Wayland plugin here and needs none to take registrations.
    if (!portal.empty())
        Start({portal}, "portal.log");
    else
        Start({"env", "QT_QPA_PLATFORM=offscreen", "kglobalaccel5"}, "kglobalaccel.log");
    return WaitForBusName(portal.empty() ? "org.kde.kglobalaccel"
                                         : "org.freedesktop.portal.Desktop");
}

bool TSwaySession::StartScreenCastService(const std::string& portal, const std::string& picture) {
    if (!StartSessionBus())
        return false;
    Start({"pipewire"}, "pipewire.log");
    if (!WaitUntil([&] { return fs::exists(FRoot + "/runtime/pipewire-0"); }, 5000))
        return false;
    // The session manager links the program's stream to the shared screen's.
    Start({"wireplumber"}, "wireplumber.log");
    Start({portal, picture}, "portal.log");
    return WaitForBusName("org.freedesktop.portal.Desktop");
}

bool TSwaySession::StartSoundServer() {
    Start(SoundServerCommand(), "pulseaudio.log");
    return WaitUntil([&] { return Status(SoundServerReady()) == 0; }, 10000);
}

bool TSwaySession::StartQuorvel(int timeoutMs) {
    FQuorvelLog = "quorvel-" + std::to_string(++FQuorvelStarts) + ".log";
    FQuorvel = Start({QUORVEL_BIN, "/start"}, FQuorvelLog);
    return WaitUntil([&] { return QuorvelLog().find("quorvel: ready") != std::string::npos; },
                     timeoutMs);
}

std::string TSwaySession::QuorvelLog() const {
    return ReadAll(FRoot + "/" + FQuorvelLog);
}

int TSwaySession::Status(const std::string& command) const {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TSwaySession::Output(const std::string& command) const {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe != nullptr) {
        std::array<char, 4096> buffer{};
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            out.append(buffer.data(), n);
        ::pclose(pipe);
    }
    return out;
}

std::string TSwaySession::Ctl(const std::string& argument) const {
    std::string quoted = "'";
    for (char c : argument)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    std::string out = Output(std::string(QUORVELCTL_BIN) + " " + quoted + " 2>&1");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

QImage TSwaySession::Grim() const {
    const std::string path = FRoot + "/grim.png";
    Status("grim " + path);
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
}

bool TSwaySession::ShowsDimmed(const QImage& background) const {
    const QImage screen = Grim();
    if (screen.isNull())
        return false;
    const QRgb b = background.pixel(20, 20);
    return screen.pixel(20, 20) == qRgb(DimByte(qRed(b)), DimByte(qGreen(b)), DimByte(qBlue(b)));
}

std::string TSwaySession::NewestCapture() const {
    std::string newest;
    fs::file_time_type time{};
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(SaveFolder(), ec)) {
        if (entry.path().filename().string().starts_with("."))
            continue; // a save in progress
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

bool TSwaySession::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs * TimeScale());
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return done();
}

} // namespace quorvel::test
