#include "support/Thread.h"

#include <QEventLoop>
#include <QMetaObject>
#include <atomic>
#include <exception>
#include <thread>

namespace quorvel {

void Wait(const std::function<void()>& Proc, const std::function<void()>& OnQuit) {
    QEventLoop loop;
    std::exception_ptr error;
    std::atomic<bool> ended{false};
    // The loop sleeps until an event arrives; the worker's end is one of them, so the wait
    // neither spins nor misses an end that comes before the loop has started.
    std::thread worker([&] {
        try {
            Proc();
        } catch (...) {
            error = std::current_exception();
        }
        ended = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    if (!ended && OnQuit)
        OnQuit();
    worker.join();
    if (error)
        std::rethrow_exception(error);
}

} // namespace quorvel
