#pragma once

#include <QImage>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvel::test {

// A private desktop for one test: an Xvfb server (its display number chosen by the
// server), openbox with a configuration that binds no keys, and fresh configuration,
// runtime and save folders. Everything started through it is ended with it. The
// process's DISPLAY, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and HOME point into it.
class TDesktopSession {
public:
    explicit TDesktopSession(int width = 1920, int height = 1080, int depth = 24);
    ~TDesktopSession();
    TDesktopSession(const TDesktopSession&) = delete;
    TDesktopSession& operator=(const TDesktopSession&) = delete;

    const std::string& Root() const { return FRoot; }
    std::string SaveFolder() const { return FRoot + "/out"; }
    std::string ConfigFile() const { return FRoot + "/config/Marbask/Quorvel.conf"; }

    // Writes the program's settings file (INI text under [General]).
    void WriteSettings(const std::string& lines) const;
    std::string ReadSettings() const;
    // One value of the settings file; empty when it is not there.
    std::string Setting(const std::string& name) const;

    // Starts a program with the session's environment plus `env` (NAME=value); its output
    // goes to `logName` in the session folder.
    pid_t Start(const std::vector<std::string>& argv, const std::string& logName,
                const std::vector<std::string>& env = {});
    // Starts Quorvel and waits until it accepts commands; false if it did not.
    bool StartQuorvel(const std::vector<std::string>& args = {},
                      const std::vector<std::string>& env = {});
    pid_t QuorvelPid() const { return FQuorvel; }
    // Asks Quorvel to exit and waits until it has (killing it only if it does not), so that
    // the next start finds its hotkey and its socket free.
    void StopQuorvel();
    std::string QuorvelLog() const;
    // Runs Quorvel to its end (a second launch) and returns its exit status; -1 when it
    // did not end within the time.
    int RunQuorvel(const std::vector<std::string>& args, int timeoutMs);

    // Runs a shell command in the session and returns what it printed.
    std::string Output(const std::string& command) const;
    int Status(const std::string& command) const;
    // quorvelctl with one argument: what it printed, without the line end.
    std::string Ctl(const std::string& argument) const;

    // A PulseAudio server of the session's own whose only sink, "quorvel_test", plays into
    // nothing; programs started afterwards play there. False when it did not come up.
    bool StartSoundServer();
    // Watches the sound server until StopWatchingSound, which returns how many playback
    // streams were opened in the meantime.
    void StartWatchingSound();
    int StopWatchingSound();
    // A notification area (trayer, an XEmbed tray) across the bottom of the screen. False
    // when it did not come up.
    bool StartTray();

    QImage Screenshot() const;
    // Asks until `done` holds; false when it still does not after the time, which is
    // stretched by TimeScale() for a sanitized build.
    static bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
    // Whether a child started here still runs; one that has ended is waited for.
    static bool Alive(pid_t pid);
    // Ends a process started here and reaps it.
    void Stop(pid_t pid);
    // The port that a server started here with the log `logName` listens on, as the first
    // line of its log says ("… listening on HOST:PORT"); 0 when it has not said so within
    // five seconds.
    int ListeningPort(const std::string& logName) const;
    // The X id of the visible window with exactly this title; 0 when there is none.
    unsigned long VisibleWindow(const std::string& title) const;
    // Makes the window the active one, which gets the keys, and waits until the window
    // manager says it is; asks again while it is not. False when it never became active.
    bool Activate(unsigned long window) const;
    // The program's message box on the screen; 0 when none.
    unsigned long MessageWindow() const;
    // Answers the program's message box with the key: waits for the box to show, gives it
    // the focus, presses the key and waits until the box has gone. The box is shown only
    // after the message is written to the log, and a key pressed before it has the focus
    // goes to another window, so the key is pressed again until the box is gone. False when
    // no box showed, or it stayed.
    bool AnswerMessage(const std::string& key = "Return", int timeoutMs = 10000);

    // Shows a window of the test pattern with the given title, client size and place, and
    // waits until the window manager has framed it and made it the active window; throws
    // when it never did.
    unsigned long ShowPatternWindow(const std::string& title, int width, int height, int x, int y);

    // The newest file in the save folder; empty when there is none.
    std::string NewestCapture() const;

    // Tells whether the running test has failed; set by the test programs, so that a failed
    // test's session prints its programs' logs before it is removed.
    static inline bool (*FailureCheck)() = nullptr;

private:
    std::string FRoot;
    std::vector<pid_t> FChildren;
    pid_t FWindowManager = -1;
    pid_t FQuorvel = -1;
    pid_t FSoundWatcher = -1;

    // Prints what the desktop's programs logged and which windows were shown, for a test
    // that failed.
    void ReportFailure() const;
    // Ends every program started here and removes the session's folder.
    void Shutdown();
    int FQuorvelStarts = 0;
    std::string FQuorvelLog = "quorvel-0.log";
};

// Pixels that differ between two pictures, the fourth byte aside; -1 for different sizes.
int Differences(const QImage& a, const QImage& b);
// Waits this long, longer in a sanitized build.
void Pause(int ms = 250);

// How much longer than usual things may take: programs built with the sanitizers start,
// work and end several times slower. The sanitizer run of the tests sets QUORVEL_SANITIZED.
int TimeScale();

// The program files under test.
std::string QuorvelBinary();
std::string QuorvelCtlBinary();
std::string TestWindowBinary();

} // namespace quorvel::test
