#pragma once

#include "app/ChannelProtocol.h"

#include <QObject>
#include <functional>
#include <optional>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace quorvel {

// The per-user folder that holds the instance lock and the command socket:
// $XDG_RUNTIME_DIR/quorvel, or a folder of the user's own under the temp folder. Created
// with access for the user alone; raises std::runtime_error when it exists but belongs to
// someone else or others can enter it.
std::string InstanceFolder();
std::string InstanceLockPath();
std::string InstanceSocketPath();

// The lock that makes a process the one running instance; held until the process ends.
class TInstanceLock {
public:
    TInstanceLock() = default;
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // True when this process now holds the lock; false when another instance does.
    bool TryAcquire();

private:
    int FFd = -1;
};

// Whether another process holds the instance lock at this moment.
bool InstanceRunning();

// Sends a request to the running instance and waits, however long it takes, for its
// one-byte answer. None when no instance listens or the connection breaks.
std::optional<char> SendToInstance(const TRequest& request);

// The running instance's side of the socket: accepts connections of the same user only,
// reads one request per connection and answers it with what the handler returns. A
// connection that sends anything else, or stops half-way for two seconds, gets '0'.
class TChannelServer : public QObject {
    Q_OBJECT
public:
    using THandler = std::function<bool(const TRequest&)>;

    explicit TChannelServer(THandler handler, QObject* parent = nullptr);
    ~TChannelServer() override;

    // Starts listening at InstanceSocketPath(); false when that cannot be done.
    bool Listen();

private:
    void Accept();
    void Read(QLocalSocket* socket);
    void Answer(QLocalSocket* socket, bool result);

    THandler FHandler;
    QLocalServer* FServer = nullptr;
};

} // namespace quorvel
