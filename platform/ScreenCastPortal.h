#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>

namespace quorvel {

class TSessionClosedWatch;

// Whether the desktop portal shares screens (its ScreenCast interface).
bool ScreenCastAvailable();

// One monitor shared by the desktop portal for as long as this lives: the portal's
// session, the PipeWire node that carries the monitor's pixels and a connection to the
// PipeWire server to reach it. The desktop may ask the user which monitor to share; a
// permission it gave before (`permission`, from the last session) lets it answer without
// asking, where it keeps such answers.
class TScreenCastSession {
public:
    // Raises EPlatformError with the reason when the screen is not shared.
    TScreenCastSession(bool cursor, const std::string& permission);
    ~TScreenCastSession();
    TScreenCastSession(const TScreenCastSession&) = delete;
    TScreenCastSession& operator=(const TScreenCastSession&) = delete;

    std::uint32_t Node() const { return FNode; }
    // The connection to the PipeWire server, handed over once: the caller closes it.
    int TakeConnection();
    // The permission to hand to the next session; empty when the desktop gave none.
    const std::string& Permission() const { return FPermission; }
    // Whether the desktop has ended the sharing (the user stopped it from the desktop).
    bool Closed() const;

private:
    void Close();

    std::unique_ptr<TSessionClosedWatch> FWatch;
    QString FSession;
    std::uint32_t FNode = 0;
    int FConnection = -1;
    std::string FPermission;
};

} // namespace quorvel
