// Waits on what a remote server reports: an observer that keeps the latest
// state and lets a test or bench wait, with a limit, until it holds a
// condition. Portable: the Windows build of the position bench uses it too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "remote/remote_server_observer.h"

class RemoteServerWatch : public RemoteServerObserver {
public:
    void OnRemoteServerChange(const RemoteServerState& state) override;

    RemoteServerState State();

    // Waits, at most limit, until the latest state satisfies done.
    bool WaitFor(const std::function<bool(const RemoteServerState&)>& done,
                 std::chrono::milliseconds limit);

    // Exactly count sessions are being served.
    bool WaitForSessions(int count, std::chrono::milliseconds limit);
    // maxClients sessions are served and the acceptor waits for a slot
    // without accepting.
    bool WaitUntilAcceptorBlocked(int maxClients, std::chrono::milliseconds limit);
    // No acceptor is left (after an accept error, or when opening failed).
    bool WaitUntilNoAcceptor(std::chrono::milliseconds limit);
    // At least count requests have been handled since the start.
    bool WaitForRequests(long count, std::chrono::milliseconds limit);
    // No more than atMost threads are started and not yet joined.
    bool WaitForThreadRecords(int atMost, std::chrono::milliseconds limit);
    // A full server has looked for a waiting client at least count times.
    bool WaitForFullChecks(long count, std::chrono::milliseconds limit);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    RemoteServerState state_;
};
