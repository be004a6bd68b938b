#pragma once

#include <string>
#include <vector>

namespace quorvel::test {

// The sink of the test desktops' sound server.
inline constexpr const char* kTestSink = "quorvel_test";

// A PulseAudio server of the test desktop's own, on its runtime folder: no system-wide
// configuration, only the modules named here (the native protocol and a null sink), and
// no idle exit.
inline std::vector<std::string> SoundServerCommand() {
    return {"pulseaudio",
            "-n",
            "--daemonize=no",
            "--exit-idle-time=-1",
            "--disallow-exit",
            "--log-target=stderr",
            "-L",
            "module-native-protocol-unix",
            "-L",
            std::string("module-null-sink sink_name=") + kTestSink + " rate=11025 channels=1"};
}

// Whether the server's sink is up (a shell command, true on status 0).
inline std::string SoundServerReady() {
    return std::string("pactl list short sinks 2>/dev/null | grep -q ") + kTestSink;
}

} // namespace quorvel::test
