// The remote server observer that tests and benches wait on.
#include "tests/support/remote_server_watch.h"

void RemoteServerWatch::OnRemoteServerChange(const RemoteServerState& state) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = state;
    }
    changed_.notify_all();
}

RemoteServerState RemoteServerWatch::State() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

bool RemoteServerWatch::WaitFor(const std::function<bool(const RemoteServerState&)>& done,
                                std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(state_); });
}

bool RemoteServerWatch::WaitForSessions(int count, std::chrono::milliseconds limit) {
    return WaitFor([count](const RemoteServerState& s) { return s.sessions == count; }, limit);
}

bool RemoteServerWatch::WaitUntilAcceptorBlocked(int maxClients, std::chrono::milliseconds limit) {
    return WaitFor(
        [maxClients](const RemoteServerState& s) {
            return s.acceptor == RemoteAcceptorState::WaitingForSlot && s.sessions >= maxClients;
        },
        limit);
}

bool RemoteServerWatch::WaitUntilNoAcceptor(std::chrono::milliseconds limit) {
    return WaitFor(
        [](const RemoteServerState& s) { return s.acceptor == RemoteAcceptorState::None; }, limit);
}

bool RemoteServerWatch::WaitForRequests(long count, std::chrono::milliseconds limit) {
    return WaitFor([count](const RemoteServerState& s) { return s.requests >= count; }, limit);
}

bool RemoteServerWatch::WaitForThreadRecords(int atMost, std::chrono::milliseconds limit) {
    return WaitFor([atMost](const RemoteServerState& s) { return s.threadRecords <= atMost; },
                   limit);
}

bool RemoteServerWatch::WaitForFullChecks(long count, std::chrono::milliseconds limit) {
    return WaitFor([count](const RemoteServerState& s) { return s.fullChecks >= count; }, limit);
}
