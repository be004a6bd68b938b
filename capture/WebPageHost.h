#pragma once

#include <QString>
#include <functional>

namespace quorvel {

// What the browser window needs of the program around it.
struct TWebPageHost {
    // The program's title in the current language, shown while no page is open.
    QString ApplicationTitle;
    // Runs once when the window closes, before it frees itself.
    std::function<void()> Closed;
};

} // namespace quorvel
