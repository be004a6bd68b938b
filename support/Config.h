#pragma once

#include "support/Settings.h"

#include <QString>
#include <memory>

class QSettings;

namespace quorvel {

// The per-user settings store: one INI file per store path under the user's configuration
// folder ("Marbask/Quorvel" is $XDG_CONFIG_HOME/Marbask/Quorvel.conf). Values are read with
// a default and written at once. A value that does not read as its kind counts as absent;
// writes never raise: a failed write only leaves the option changed in memory.
class TConfig {
public:
    explicit TConfig(const QString& Path);
    ~TConfig();
    TConfig(const TConfig&) = delete;
    TConfig& operator=(const TConfig&) = delete;

    int ReadInteger(const QString& Name, int Default) const;
    bool ReadBoolean(const QString& Name, bool Default) const;
    QString ReadString(const QString& Name, const QString& Default) const;

    int WriteInteger(const QString& Name, int Value) noexcept;
    bool WriteBoolean(const QString& Name, bool Value) noexcept;
    QString WriteString(const QString& Name, const QString& Value) noexcept;

    int Read(const TIntegerSetting& Setting) const;
    bool Read(const TBooleanSetting& Setting) const;

    // The file that holds the store.
    QString FileName() const;

    // The file of a store path, under the user's configuration folder as it is now.
    static QString FileOf(const QString& Path);

private:
    std::unique_ptr<QSettings> FReg;
};

// The save folder of a fresh user: the desktop folder of the XDG user directories.
QString DefaultSavePath();

} // namespace quorvel
