#include "support/ApplicationTitle.h"

#include <mutex>

namespace quorvel {

namespace {
std::mutex titleLock;
QString title;
} // namespace

QString ApplicationTitle() {
    std::lock_guard lock(titleLock);
    return title;
}

void SetApplicationTitle(const QString& newTitle) {
    std::lock_guard lock(titleLock);
    title = newTitle;
}

} // namespace quorvel
