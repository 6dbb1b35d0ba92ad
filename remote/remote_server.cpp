// The remote-control server: acceptor chain, one session thread per client,
// at most kRemoteMaxClients of them at once.
#include "remote/remote_server.h"

#include <cstdio>
#include <iterator>
#include <system_error>

#include "platform/window_hooks.h"
#include "remote/remote_request.h"

RemoteServer::RemoteServer(RemoteSocketApi& sockets, uint16_t port, int maxClients)
    : sockets_(sockets), port_(port), maxClients_(maxClients < 1 ? 1 : maxClients) {}

RemoteServer::~RemoteServer() {
    Stop();
}

void RemoteServer::StartRemoteThread(RemoteSocket listening) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        acceptor_ = AcceptorState::None;
        changed_.notify_all();
        return;
    }
    ReapFinishedWorkers();
    workers_.emplace_back();
    auto worker = std::prev(workers_.end());
    acceptor_ = AcceptorState::Starting;
    try {
        worker->thread = std::thread([this, listening, worker] {
            RemoteAcceptThread(listening);
            std::lock_guard<std::mutex> done(mutex_);
            // Threads that ended before this one would otherwise keep their
            // records (a handle on Windows) until the next client arrives.
            ReapFinishedWorkers();
            worker->done = true;
            changed_.notify_all();
        });
    } catch (const std::system_error&) {
        // No thread: nobody accepts from here on, as after an accept error.
        workers_.erase(worker);
        acceptor_ = AcceptorState::None;
        changed_.notify_all();
    }
}

// Joins threads that have finished, so their records do not pile up over a
// long run. They have left the mutex for good, so this cannot block on it.
void RemoteServer::ReapFinishedWorkers() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

int RemoteServer::RemoteAcceptThread(RemoteSocket listening) {
    if (listening == kNoRemoteSocket) {
        SetAcceptorState(AcceptorState::Opening);
        listening = OpenListeningSocket();
        if (listening == kNoRemoteSocket) {
            SetAcceptorState(AcceptorState::None);
            return 0;
        }
    } else {
        std::lock_guard<std::mutex> lock(mutex_);
        if (listening_ == kNoRemoteSocket) {
            listening_ = listening;  // so that Stop can wake the acceptor
        }
    }

    if (!ReserveSlot()) {
        return 0;
    }
    RemoteSocket connected;
    for (;;) {
        int error = 0;
        connected = sockets_.Accept(listening, &error);
        if (connected != kNoRemoteSocket) {
            break;
        }
        if (IsStopping()) {
            ReleaseSlot();
            SetAcceptorState(AcceptorState::None);
            return 0;
        }
        // A connection that went away while queued leaves the listener
        // good: wait for the next one.
        if (!IsAbortedPendingConnection(error)) {
            ReleaseSlot();
            ShowSocketError(error, "Error with accept()");
            SetAcceptorState(AcceptorState::None);
            return 0;
        }
    }

    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            sockets_.Close(connected);
            --busySlots_;
            acceptor_ = AcceptorState::None;
            changed_.notify_all();
            return 0;
        }
        clients_.insert(connected);
        ++sessions_;
        changed_.notify_all();
    }

    StartRemoteThread(listening);
    RemoteSession(connected);

    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(connected);
    sockets_.Close(connected);
    --sessions_;
    --busySlots_;
    changed_.notify_all();
    return 0;
}

int RemoteServer::RemoteSession(RemoteSocket connected) {
    // One buffer for the whole connection: a short request leaves the bytes
    // of earlier ones behind it.
    unsigned char buffer[kRemoteRequestSize] = {};
    unsigned char reply[kRemoteInfoSize];
    for (;;) {
        int error = 0;
        int count = sockets_.Receive(connected, buffer, kRemoteRequestSize, &error);
        if (count < 0) {
            if (!IsPeerResetError(error) && !IsStopping()) {
                ShowSocketError(error, "Error with recv()");
            }
            return 0;
        }
        if (count == 0) {
            return 0;
        }
        int length = HandleRemoteRequest(buffer, reply);
        if (length > 0) {
            sockets_.Send(connected, reply, length);
        }
        CountRequest();
    }
}

RemoteSocket RemoteServer::OpenListeningSocket() {
    int error = 0;
    RemoteSocket listening = sockets_.Create(&error);
    if (listening == kNoRemoteSocket) {
        SetOpenState(OpenState::Failed);
        return kNoRemoteSocket;
    }
    error = sockets_.Bind(listening, port_);
    if (error != 0) {
        sockets_.Close(listening);
        ShowSocketError(error, "Error with bind()");
        SetOpenState(OpenState::Failed);
        return kNoRemoteSocket;
    }
    error = sockets_.Listen(listening, kRemoteBacklog);
    if (error != 0) {
        sockets_.Close(listening);
        ShowSocketError(error, "Error with listen()");
        SetOpenState(OpenState::Failed);
        return kNoRemoteSocket;
    }

    uint16_t port = sockets_.LocalPort(listening);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        sockets_.Close(listening);
        openState_ = OpenState::Failed;
        changed_.notify_all();
        return kNoRemoteSocket;
    }
    listening_ = listening;
    ownsListening_ = true;
    listenPort_ = port;
    openState_ = OpenState::Listening;
    changed_.notify_all();
    return listening;
}

void RemoteServer::SetOpenState(OpenState state) {
    std::lock_guard<std::mutex> lock(mutex_);
    openState_ = state;
    changed_.notify_all();
}

void RemoteServer::SetAcceptorState(AcceptorState state) {
    std::lock_guard<std::mutex> lock(mutex_);
    acceptor_ = state;
    changed_.notify_all();
}

// Takes a client slot for the connection about to be accepted, waiting while
// every slot is in use. False when the server stops meanwhile.
bool RemoteServer::ReserveSlot() {
    std::unique_lock<std::mutex> lock(mutex_);
    acceptor_ = AcceptorState::WaitingForSlot;
    changed_.notify_all();
    changed_.wait(lock, [this] { return stopping_ || busySlots_ < maxClients_; });
    if (stopping_) {
        acceptor_ = AcceptorState::None;
        changed_.notify_all();
        return false;
    }
    ++busySlots_;
    acceptor_ = AcceptorState::Accepting;
    changed_.notify_all();
    return true;
}

void RemoteServer::ReleaseSlot() {
    std::lock_guard<std::mutex> lock(mutex_);
    --busySlots_;
    changed_.notify_all();
}

void RemoteServer::CountRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_;
    changed_.notify_all();
}

bool RemoteServer::IsStopping() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

void RemoteServer::ShowSocketError(int error, const char* caption) {
    char text[32];
    std::snprintf(text, sizeof text, "Error %d", error);
    ShowErrorBox(g_hWnd.load(), text, caption);
}

uint16_t RemoteServer::WaitUntilListening() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stopping_ || openState_ != OpenState::Pending; });
    return openState_ == OpenState::Listening ? listenPort_ : 0;
}

bool RemoteServer::WaitForSessions(int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this, count] { return sessions_ == count; });
}

bool RemoteServer::WaitUntilAcceptorBlocked(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this] {
        return acceptor_ == AcceptorState::WaitingForSlot && busySlots_ >= maxClients_;
    });
}

bool RemoteServer::WaitUntilNoAcceptor(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return acceptor_ == AcceptorState::None; });
}

bool RemoteServer::WaitForRequests(long count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this, count] { return requests_ >= count; });
}

bool RemoteServer::WaitForThreadRecords(int atMost, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(
        lock, limit, [this, atMost] { return static_cast<int>(workers_.size()) <= atMost; });
}

int RemoteServer::SessionCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_;
}

void RemoteServer::BeginStop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_) {
        stopping_ = true;
        if (listening_ != kNoRemoteSocket) {
            sockets_.Interrupt(listening_);
        }
        for (RemoteSocket client : clients_) {
            sockets_.Interrupt(client);
        }
    }
    changed_.notify_all();
}

void RemoteServer::Stop() {
    BeginStop();
    // Threads that were running may still start one more acceptor; it sees
    // the stop and ends, so this loop runs dry.
    for (;;) {
        std::list<Worker> batch;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (workers_.empty()) {
                break;
            }
            batch.splice(batch.begin(), workers_);
        }
        for (Worker& worker : batch) {
            worker.thread.join();
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (ownsListening_ && listening_ != kNoRemoteSocket) {
        sockets_.Close(listening_);
    }
    listening_ = kNoRemoteSocket;
    ownsListening_ = false;
}

namespace {

RemoteServer& ProgramRemoteServer() {
    // Never destroyed: its threads run until the process ends.
    static RemoteServer* server = new RemoteServer(PlatformSocketApi(), kRemotePort);
    return *server;
}

}  // namespace

void StartRemoteThread(RemoteSocket listening) {
    ProgramRemoteServer().StartRemoteThread(listening);
}

void EndRemoteServer() {
    ProgramRemoteServer().BeginStop();
}
