#pragma once

#include <QImage>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvel::test {

// A private Wayland desktop for one test: a headless sway (software renderer, no input
// devices, no X server) whose one output, HEADLESS-1, shows a known picture as its
// background, and fresh configuration, runtime and save folders. The process's
// WAYLAND_DISPLAY, XDG_RUNTIME_DIR, XDG_CONFIG_HOME and HOME point into it; DISPLAY is
// unset. Everything started through it is ended with it. sway refuses to run as root:
// the test script runs these tests as an unprivileged user.
class TSwaySession {
public:
    // `scale` is the output's scale factor; the background is centred on the output.
    TSwaySession(const QImage& background, int width, int height, int scale = 1);
    ~TSwaySession();
    TSwaySession(const TSwaySession&) = delete;
    TSwaySession& operator=(const TSwaySession&) = delete;

    const std::string& Root() const { return FRoot; }
    std::string SaveFolder() const { return FRoot + "/out"; }
    // Writes the program's settings file (INI text under [General]).
    void WriteSettings(const std::string& lines) const;
    // One value of the settings file; empty when it is not there.
    std::string Setting(const std::string& name) const;

    // Starts a program with the session's environment; its output goes to `logName`.
    pid_t Start(const std::vector<std::string>& argv, const std::string& logName);
    // A D-Bus session bus of the session's own, named in the process's environment from
    // then on, with a global shortcut service on it: KDE's (which takes keys for programs
    // on a Plasma desktop; here it only registers them and reports invoked ones), or the
    // desktop portal program given (quorvel_test_shortcut_portal, which offers global
    // shortcuts; its output in "portal.log"). False when either did not come up.
    bool StartShortcutService(const std::string& portal = {});
    // A D-Bus session bus, a PipeWire server with its session manager, and the desktop
    // portal program given (quorvel_test_screencast_portal, which shares the picture file
    // as the screen; its output in "portal.log"). False when any did not come up.
    bool StartScreenCastService(const std::string& portal, const std::string& picture);
    // A sound server of the session's own with one null sink; false when it did not come up.
    bool StartSoundServer();
    // Starts Quorvel ("/start": hidden) and waits until its log says "ready"; false if not
    // (always, without waiting, for no time).
    bool StartQuorvel(int timeoutMs = 10000);
    std::string QuorvelLog() const;
    // quorvelctl with one argument: what it printed, without the line end.
    std::string Ctl(const std::string& argument) const;
    // Runs a shell command in the session; what it printed.
    std::string Output(const std::string& command) const;
    // Runs a shell command in the session; its exit status.
    int Status(const std::string& command) const;
    // The output's pixels as grim reads them.
    QImage Grim() const;
    // Whether the screen shows the background dimmed, as the drag selection's overlay
    // does before anything is selected.
    bool ShowsDimmed(const QImage& background) const;
    // The newest finished file in the save folder; empty when there is none.
    std::string NewestCapture() const;

    static bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

private:
    // A D-Bus session bus of the session's own, named in the process's environment.
    bool StartSessionBus();
    // Whether a name is owned on the session bus, waited for.
    bool WaitForBusName(const std::string& name);
    // Ends every program started here and removes the session's folder.
    void Shutdown();

    std::string FRoot;
    std::vector<pid_t> FChildren;
    pid_t FQuorvel = -1;
    int FQuorvelStarts = 0;
    std::string FQuorvelLog;
};

// Pixels that differ between two pictures, the fourth byte aside; -1 for different sizes.
int PixelDifferences(const QImage& a, const QImage& b);

// A picture in which no two neighbouring pixels are alike, so that any shift, crop or
// channel swap shows.
QImage PatternPicture(int width, int height);

} // namespace quorvel::test
