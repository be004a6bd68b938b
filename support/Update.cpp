#include "support/Update.h"

#include "support/Config.h"
#include "support/HttpGet.h"
#include "support/LocaleName.h"
#include "support/Settings.h"
#include "support/Strings.h"
#include "support/UpdateProtocol.h"
#include "support/Utf8.h"
#include "support/Version.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel {

namespace {

// The process reports its leaks at its end; the check tells the server so.
constexpr bool kDebugFlag = true;
constexpr int kAttempts = 60;
constexpr int kPausesPerWait = 1000;

// The unit's state: written before the threads start, then only read by them.
struct TUpdateState {
    std::string UpdateURL;
    int DialogOffset = 0;
    std::string UpdateLanguage;
    std::mt19937 Random;
    std::atomic<std::int64_t> PauseMicroseconds{10000};
    std::atomic<bool> Stop{false};
    std::mutex ThreadsLock;
    std::vector<std::thread> Threads;

    TUpdateState()
        : UpdateLanguage(UpdateLanguageOf(UserLocaleFromEnvironment())),
          Random(static_cast<std::mt19937::result_type>(
              std::chrono::system_clock::now().time_since_epoch().count())) {}
    ~TUpdateState() { StopAll(); }

    void Launch(std::function<void()> body) {
        std::lock_guard<std::mutex> lock(ThreadsLock);
        Threads.emplace_back(std::move(body));
    }

    void StopAll() {
        Stop = true;
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> lock(ThreadsLock);
            threads.swap(Threads);
        }
        for (std::thread& t : threads)
            if (t.joinable())
                t.join();
    }
};

TUpdateState& State() {
    static TUpdateState state;
    return state;
}

// One wait between attempts: 1,000 short pauses, looking for the stop before each.
bool WaitBeforeRetry() {
    TUpdateState& state = State();
    for (int i = 0; i < kPausesPerWait; ++i) {
        if (state.Stop)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(state.PauseMicroseconds.load()));
    }
    return !state.Stop;
}

void Completion(const std::u16string& reply, const TUpdateCallback& callback) {
    const QString replyText = QString::fromStdU16String(reply);
    bool accepted = false;
    std::u16string download;
    try {
        download = DownloadUrlOf(reply);
    } catch (const std::exception&) {
        download.clear(); // a malformed address offers nothing
    }
    // Only a web address is ever handed to the browser.
    if (!download.empty() && IsWebAddress(Utf16ToUtf8(download)))
        accepted = UpdateDialog(replyText);
    if (accepted)
        QDesktopServices::openUrl(QUrl(QString::fromStdU16String(download)));
    if (callback)
        callback(accepted, replyText);
}

void CheckThread(TUpdateCallback callback) {
    TUpdateState& state = State();
    const THeaders headers = CheckHeaders(VersionText(4).toStdString(), state.UpdateLanguage,
                                          kDebugFlag, GetInstallationId().toStdString());
    std::u16string reply;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (HttpGetText(state.UpdateURL, headers, reply, &state.Stop))
            break;
        reply.clear();
        if (!WaitBeforeRetry())
            return;
    }
    // Hand the reply to the user-interface thread and wait until it has been handled,
    // unless the program ends meanwhile.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> handled = done->get_future();
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || state.Stop)
        return;
    QMetaObject::invokeMethod(
        app,
        [done, reply, callback] {
            if (!State().Stop)
                Completion(reply, callback);
            done->set_value();
        },
        Qt::QueuedConnection);
    while (handled.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        if (state.Stop)
            return;
}

} // namespace

std::string UpdateLanguage() {
    return State().UpdateLanguage;
}

QString UpdateText(int Kind) {
    return QString::fromStdU16String(quorvel::UpdateText(Kind, UpdateLanguage()));
}

QString NewInstallationId() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    return QString::fromStdString(NewInstallationId(State().Random, local));
}

QString GetInstallationId() {
    try {
        TConfig maker(QString::fromLatin1(Settings::MakerStore));
        const QString name = QString::fromLatin1(Settings::Quid.Name);
        if (maker.ReadString(name, QString()).isEmpty())
            maker.WriteString(name, NewInstallationId());
        // An identifier that could not be stored is not kept: it counts as none.
        if (!QFileInfo(maker.FileName()).isFile())
            return {};
        return maker.ReadString(name, QString());
    } catch (...) {
        return {};
    }
}

void SetUpdatePause(std::chrono::microseconds Pause) {
    State().PauseMicroseconds = Pause.count();
}

void CheckUpdate(const QString& URL, TUpdateCallback Callback, int DialogOffset) {
    TUpdateState& state = State();
    state.UpdateURL = URL.toStdString();
    state.DialogOffset = DialogOffset;
    state.Stop = false;
    static QPointer<QCoreApplication> watched;
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && watched != app) {
        watched = app;
        QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { StopUpdateCheck(); });
    }
    state.Launch([callback = std::move(Callback)] { CheckThread(callback); });
}

void StopUpdateCheck() {
    State().StopAll();
}

int UpdateDialogOffset() {
    return State().DialogOffset;
}

void SendHoldRequest() {
    TUpdateState& state = State();
    const std::string url = state.UpdateURL;
    state.Launch([url] {
        std::u16string ignored;
        HttpGetText(url, HoldHeaders(VersionText(4).toStdString()), ignored, &State().Stop);
    });
}

} // namespace quorvel
