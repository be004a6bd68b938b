#pragma once

#include <QString>

namespace quorvel {

// The program's version, "4.0.1.0" with four parts or "4.0.1" with three.
inline QString VersionText(int parts = 4) {
    const int numbers[] = {QUORVEL_VERSION_MAJOR, QUORVEL_VERSION_MINOR, QUORVEL_VERSION_PATCH,
                           QUORVEL_VERSION_TWEAK};
    QString text;
    for (int i = 0; i < parts && i < 4; ++i)
        text += (i ? QStringLiteral(".") : QString()) + QString::number(numbers[i]);
    return text;
}

} // namespace quorvel
