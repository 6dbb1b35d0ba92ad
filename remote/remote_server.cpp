// The remote-control server: acceptor chain, one session thread per client,
// at most kRemoteMaxClients of them at once.
#include "remote/remote_server.h"

#include <cstdio>
#include <iterator>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/window_hooks.h"
#include "remote/remote_request.h"

namespace {

RemoteServerOptions Checked(RemoteServerOptions options) {
    if (options.maxClients < 1) {
        options.maxClients = 1;
    }
    if (!options.clock) {
        options.clock = std::chrono::steady_clock::now;
    }
    return options;
}

}  // namespace

RemoteServer::RemoteServer(RemoteSocketApi& sockets, uint16_t port, RemoteServerOptions options)
    : sockets_(sockets), port_(port), options_(Checked(std::move(options))) {}

RemoteServer::~RemoteServer() {
    Stop();
}

void RemoteServer::StartRemoteThread(RemoteSocket listening) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        acceptor_ = RemoteAcceptorState::None;
        Changed();
        return;
    }
    ReapFinishedWorkers();
    workers_.emplace_back();
    auto worker = std::prev(workers_.end());
    acceptor_ = RemoteAcceptorState::Starting;
    Changed();
    try {
        worker->thread = std::thread([this, listening, worker] {
            RemoteAcceptThread(listening);
            std::lock_guard<std::mutex> done(mutex_);
            // Threads that ended before this one would otherwise keep their
            // records (a handle on Windows) until the next client arrives.
            ReapFinishedWorkers();
            worker->done = true;
            Changed();
        });
    } catch (const std::system_error&) {
        // No thread: nobody accepts from here on, as after an accept error.
        workers_.erase(worker);
        acceptor_ = RemoteAcceptorState::None;
        Changed();
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
        SetAcceptorState(RemoteAcceptorState::Opening);
        listening = OpenListeningSocket();
        if (listening == kNoRemoteSocket) {
            SetAcceptorState(RemoteAcceptorState::None);
            return 0;
        }
    } else {
        std::lock_guard<std::mutex> lock(mutex_);
        if (listening_ == kNoRemoteSocket) {
            listening_ = listening;  // so that Stop can wake the acceptor
        }
    }

    if (!ReserveSlot(listening)) {
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
            SetAcceptorState(RemoteAcceptorState::None);
            return 0;
        }
        // A connection that went away while queued leaves the listener
        // good: wait for the next one.
        if (!IsAbortedPendingConnection(error)) {
            ReleaseSlot();
            ShowSocketError(error, "Error with accept()");
            SetAcceptorState(RemoteAcceptorState::None);
            return 0;
        }
    }

    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            sockets_.Close(connected);
            --busySlots_;
            acceptor_ = RemoteAcceptorState::None;
            Changed();
            return 0;
        }
        clients_[connected].lastRequest = options_.clock();
        Changed();
    }

    StartRemoteThread(listening);
    RemoteSession(connected);

    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(connected);
    sockets_.Close(connected);
    --busySlots_;
    Changed();
    return 0;
}

int RemoteServer::RemoteSession(RemoteSocket connected) {
    // One buffer for the whole connection: a short request leaves the bytes
    // of earlier ones behind it.
    unsigned char buffer[kRemoteRequestSize] = {};
    std::vector<unsigned char> reply(kRemoteMaxReplySize);
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
        BeginRequest(connected);
        int length = HandleRemoteRequest(buffer, reply.data());
        // A reply that cannot go out means the client has gone: end now
        // rather than wait for another receive.
        bool delivered = length <= 0 || sockets_.Send(connected, reply.data(), length) == length;
        if (!EndRequest(connected) || !delivered) {
            return 0;
        }
    }
}

RemoteSocket RemoteServer::OpenListeningSocket() {
    int error = 0;
    RemoteSocket listening = sockets_.Create(&error);
    if (listening == kNoRemoteSocket) {
        SetOpenState(OpenState::Failed);
        return kNoRemoteSocket;
    }
    // A port chosen on the command line is named, so that the user of a
    // second copy sees which one; the default port's box reads as it always has.
    const uint16_t named = port_ == kRemotePort ? 0 : port_;
    auto fail = [&](const char* caption) {
        sockets_.Close(listening);
        ShowSocketError(error, caption, named);
        SetOpenState(OpenState::Failed);
        return kNoRemoteSocket;
    };
    error = sockets_.Bind(listening, port_);
    if (error != 0) {
        return fail("Error with bind()");
    }
    error = sockets_.Listen(listening, kRemoteBacklog);
    if (error != 0) {
        return fail("Error with listen()");
    }

    uint16_t port = sockets_.LocalPort(listening);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        sockets_.Close(listening);
        openState_ = OpenState::Failed;
        Changed();
        return kNoRemoteSocket;
    }
    listening_ = listening;
    ownsListening_ = true;
    listenPort_ = port;
    openState_ = OpenState::Listening;
    Changed();
    return listening;
}

void RemoteServer::SetOpenState(OpenState state) {
    std::lock_guard<std::mutex> lock(mutex_);
    openState_ = state;
    Changed();
}

void RemoteServer::SetAcceptorState(RemoteAcceptorState state) {
    std::lock_guard<std::mutex> lock(mutex_);
    acceptor_ = state;
    Changed();
}

// Takes a client slot for the connection about to be accepted, waiting while
// every slot is in use. Meanwhile it looks for a client waiting in the
// listen queue every full-check period and makes room for it when a session
// has been idle long enough. False when the server stops meanwhile.
bool RemoteServer::ReserveSlot(RemoteSocket listening) {
    std::unique_lock<std::mutex> lock(mutex_);
    acceptor_ = RemoteAcceptorState::WaitingForSlot;
    Changed();
    auto slotOrStop = [this] { return stopping_ || busySlots_ < options_.maxClients; };
    while (!changed_.wait_for(lock, options_.fullCheckPeriod, slotOrStop)) {
        lock.unlock();
        bool clientWaits = sockets_.WaitReadable(listening, 0);
        lock.lock();
        ++fullChecks_;
        if (clientWaits && !stopping_) {
            CloseLongestIdleSession();
        }
        Changed();
    }
    if (stopping_) {
        acceptor_ = RemoteAcceptorState::None;
        Changed();
        return false;
    }
    ++busySlots_;
    acceptor_ = RemoteAcceptorState::Accepting;
    Changed();
    return true;
}

// With mutex_ held: wakes the session with the oldest request (or accept)
// to end, when that is at least the idle limit ago. Its slot comes free when
// its thread has closed the socket. One at a time: a session already
// closing makes the room, unless it has not ended within an idle limit
// (a send to a client that never reads does not wake on every platform).
void RemoteServer::CloseLongestIdleSession() {
    auto now = options_.clock();
    auto longest = clients_.end();
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        const Client& client = it->second;
        if (client.closing) {
            // One still in its request ends with it and makes no room now.
            if (!client.inRequest && now - client.closingSince < options_.idleLimit) {
                return;
            }
            continue;
        }
        if (longest == clients_.end() || client.lastRequest < longest->second.lastRequest) {
            longest = it;
        }
    }
    if (longest == clients_.end() || now - longest->second.lastRequest < options_.idleLimit) {
        return;
    }
    longest->second.closing = true;
    longest->second.closingSince = now;
    sockets_.Interrupt(longest->first);
    ++closedForRoom_;
}

void RemoteServer::ReleaseSlot() {
    std::lock_guard<std::mutex> lock(mutex_);
    --busySlots_;
    Changed();
}

void RemoteServer::BeginRequest(RemoteSocket connected) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto client = clients_.find(connected);
    if (client != clients_.end()) {
        client->second.lastRequest = options_.clock();
        client->second.inRequest = true;
    }
    ++inRequests_;
    Changed();
}

// Counts the request; false when the session was closed meanwhile (to make
// room) and must end now.
bool RemoteServer::EndRequest(RemoteSocket connected) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_;
    --inRequests_;
    bool goOn = !stopping_;
    auto client = clients_.find(connected);
    if (client != clients_.end()) {
        client->second.lastRequest = options_.clock();
        client->second.inRequest = false;
        goOn = goOn && !client->second.closing;
    }
    Changed();
    return goOn;
}

// With mutex_ held: wakes the waits on changed_ and tells the observer.
void RemoteServer::Changed() {
    changed_.notify_all();
    if (options_.observer != nullptr) {
        RemoteServerState state;
        state.acceptor = acceptor_;
        state.sessions = static_cast<int>(clients_.size());
        state.requests = requests_;
        state.inRequests = inRequests_;
        state.threadRecords = static_cast<int>(workers_.size());
        state.fullChecks = fullChecks_;
        state.closedForRoom = closedForRoom_;
        options_.observer->OnRemoteServerChange(state);
    }
}

bool RemoteServer::IsStopping() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

void RemoteServer::ShowSocketError(int error, const char* caption, uint16_t port) {
    char text[64];
    if (port != 0) {
        std::snprintf(text, sizeof text, "Error %d (TCP port %u)", error, unsigned{port});
    } else {
        std::snprintf(text, sizeof text, "Error %d", error);
    }
    ShowErrorBox(g_hWnd.load(), text, caption);
}

uint16_t RemoteServer::WaitUntilListening() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stopping_ || openState_ != OpenState::Pending; });
    return openState_ == OpenState::Listening ? listenPort_ : 0;
}

void RemoteServer::BeginStop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_) {
        stopping_ = true;
        if (listening_ != kNoRemoteSocket) {
            sockets_.Interrupt(listening_);
        }
        for (const auto& client : clients_) {
            sockets_.Interrupt(client.first);
        }
    }
    Changed();
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

uint16_t g_nRemotePort = kRemotePort;

namespace {

RemoteServer& ProgramRemoteServer() {
    // Never destroyed: its threads run until the process ends.
    static RemoteServer* server = new RemoteServer(PlatformSocketApi(), g_nRemotePort);
    return *server;
}

}  // namespace

void StartRemoteThread(RemoteSocket listening) {
    ProgramRemoteServer().StartRemoteThread(listening);
}

void EndRemoteServer() {
    ProgramRemoteServer().BeginStop();
}
