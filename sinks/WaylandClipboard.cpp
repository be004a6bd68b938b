// A Wayland compositor hands the clipboard only to a program whose window has just had the
// user's input, so a capture that the hotkey or another program asked for, with no window
// of ours shown, would never reach it while Qt reported success. wl-copy holds the
// clipboard through the compositor's data-control protocol (or a surface of its own where
// there is none) and goes on serving it from the background until another program takes
// the clipboard.

#include "sinks/WaylandClipboard.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

namespace quorvel {

namespace {

// wl-copy reads what it is given, takes the clipboard and leaves a copy of itself serving
// it; its first process ends within moments.
constexpr int kWlCopyTimeoutMs = 10000;

} // namespace

const QString& WlCopy() {
    static const QString program = QStandardPaths::findExecutable(QStringLiteral("wl-copy"));
    return program;
}

bool UseWlCopy() {
    return QGuiApplication::platformName() == QLatin1String("wayland") && !WlCopy().isEmpty();
}

bool PutWithWlCopy(const QByteArray& data, const QString& mimeType) {
    QProcess copy;
    // The copy left serving the clipboard outlives this process object: it keeps no pipe
    // of ours open.
    copy.setStandardOutputFile(QProcess::nullDevice());
    copy.setStandardErrorFile(QProcess::nullDevice());
    copy.start(WlCopy(), {QStringLiteral("--type"), mimeType});
    if (!copy.waitForStarted(kWlCopyTimeoutMs))
        return false;
    copy.write(data);
    copy.closeWriteChannel();
    if (!copy.waitForFinished(kWlCopyTimeoutMs)) {
        copy.kill();
        copy.waitForFinished(1000);
        return false;
    }
    return copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 0;
}

} // namespace quorvel
