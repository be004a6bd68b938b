// Program entry: hands the command line to a running instance, or becomes the instance.

#include "app/ExitSignals.h"
#include "app/FrmQuorvel.h"
#include "app/SingleInstance.h"
#include "platform/Platform.h"
#include "support/Resources.h"

#include <QApplication>
#include <QIcon>
#include <QSessionManager>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <thread>
#include <unistd.h>

using namespace quorvel;

namespace {

// "/uninst": ask the running instance to exit and wait up to a second for it to go.
int Uninstall() {
    if (!SendToInstance({TRequestType::User, kUserExit, {}}))
        return 0;
    for (int i = 0; i < 10 && InstanceRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Capture-sized buffers (tens of megabytes) are reused from the heap instead of being
    // handed back to the system after every capture: fresh pages cost a page fault each,
    // which made every capture after the first pay for its memory all over again.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);

    // Only the first argument counts, and only exactly as written.
    const QString first = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    // "/uninst" never becomes an instance, whatever goes wrong on the way.
    if (first == QLatin1String("/uninst")) {
        try {
            return Uninstall();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quorvel: %s\n", e.what());
        }
        return 0;
    }

    TInstanceLock lock;
    bool channel = true;
    try {
        if (!lock.TryAcquire()) {
            if (first != QLatin1String("/start"))
                SendToInstance({TRequestType::User, kUserShow, {}});
            return 0;
        }
    } catch (const std::exception& e) {
        // Without the per-user folder there is no single-instance channel; run anyway.
        std::fprintf(stderr, "quorvel: %s\n", e.what());
        channel = false;
    }

    // The web page area's browser engine cannot start its sandbox as root; a normal user
    // keeps it. Read when the engine starts, which is only when that area is chosen.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setOrganizationName(QStringLiteral("Marbask"));
    // No display name: Qt would add it to every window's title. The program's own
    // application title is kept apart (ApplicationTitle).
    QApplication::setApplicationDisplayName(QString());
    // Every window of the program shows the program's icon.
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(Resources::ProgramIcon)));

    TPlatform* platform = nullptr;
    try {
        platform = &Platform();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel: %s\n", e.what());
        return 0;
    }

    TFrmQuorvel window(first, *platform);
    TChannelServer server([&window](const TRequest& request) {
        if (request.Type == TRequestType::User)
            return window.WMUserCommand(request.Param);
        return window.WMCopyData(request.Param, request.Payload);
    });
    if (channel && !server.Listen())
        std::fprintf(stderr, "quorvel: cannot listen for commands\n");

    WatchExitSignals([&window] { window.ExitRequest(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.ExitRequest(); });

    if (first != QLatin1String("/start"))
        window.show();
    std::fprintf(stderr, "quorvel: ready\n");
    return app.exec() == 0 ? 0 : 0;
}
