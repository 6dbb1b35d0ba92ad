// The remote-control server: a chain of acceptor threads on one listening
// socket, each serving the client it accepted on its own thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include "remote/remote_protocol.h"
#include "remote/remote_socket.h"

const int kRemoteBacklog = 5;

// Clients served at once. Further clients wait in the listen queue: the
// acceptor does not accept until a session has ended.
const int kRemoteMaxClients = 64;

// One server. The program runs one on kRemotePort for the whole run (see
// StartRemoteThread below); tests run their own on a free port and stop it.
class RemoteServer {
public:
    // port 0 picks a free port when the first acceptor opens its socket.
    RemoteServer(RemoteSocketApi& sockets, uint16_t port, int maxClients = kRemoteMaxClients);
    ~RemoteServer();  // stops the server
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // Starts an acceptor thread. With kNoRemoteSocket (the first acceptor) it
    // creates the socket, binds it to the server's port on all interfaces and
    // listens first; failures show "Error with bind()" or "Error with
    // listen()" and end it. A socket the caller passes stays the caller's.
    void StartRemoteThread(RemoteSocket listening);

    // Waits until the first acceptor has opened its socket: the bound port,
    // or 0 when opening failed or the server was stopped.
    uint16_t WaitUntilListening();

    // Waits, at most limit, until exactly count sessions are being served.
    bool WaitForSessions(int count, std::chrono::milliseconds limit);

    // Waits, at most limit, until every client slot is taken and the
    // acceptor waits for one to come free without accepting.
    bool WaitUntilAcceptorBlocked(std::chrono::milliseconds limit);

    // Waits, at most limit, until no acceptor is left (after an accept
    // error, or when opening the socket failed).
    bool WaitUntilNoAcceptor(std::chrono::milliseconds limit);

    // Waits, at most limit, until count requests have been handled since the
    // server started (every receive of at least one byte is one request).
    bool WaitForRequests(long count, std::chrono::milliseconds limit);

    // Waits, at most limit, until no more than atMost threads are started
    // and not yet joined (the acceptor, sessions, and ended ones whose join
    // is still due).
    bool WaitForThreadRecords(int atMost, std::chrono::milliseconds limit);

    int SessionCount();

    // From now on no box is shown, nothing more is accepted and connected
    // sessions are woken to end; returns at once.
    void BeginStop();

    // BeginStop, then joins every thread and closes the sockets the server
    // opened.
    void Stop();

private:
    enum class AcceptorState { None, Starting, Opening, WaitingForSlot, Accepting };
    enum class OpenState { Pending, Listening, Failed };

    struct Worker {
        std::thread thread;
        bool done = false;
    };

    int RemoteAcceptThread(RemoteSocket listening);
    int RemoteSession(RemoteSocket connected);

    RemoteSocket OpenListeningSocket();
    void SetOpenState(OpenState state);
    void SetAcceptorState(AcceptorState state);
    bool ReserveSlot();
    void ReleaseSlot();
    bool IsStopping();
    void CountRequest();
    void ReapFinishedWorkers();
    void ShowSocketError(int error, const char* caption);

    RemoteSocketApi& sockets_;
    const uint16_t port_;
    const int maxClients_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    RemoteSocket listening_ = kNoRemoteSocket;
    bool ownsListening_ = false;
    uint16_t listenPort_ = 0;
    OpenState openState_ = OpenState::Pending;
    AcceptorState acceptor_ = AcceptorState::None;
    int busySlots_ = 0;  // running sessions plus the acceptor's reservation
    int sessions_ = 0;
    long requests_ = 0;
    std::set<RemoteSocket> clients_;
    std::list<Worker> workers_;
};

// The program's server on kRemotePort: starts an acceptor thread on
// listening, or with kNoRemoteSocket opens the listening socket first.
// WSAStartup must have been called. The server runs until the process ends.
void StartRemoteThread(RemoteSocket listening);

// Shutdown, before WSACleanup: the program's server stops accepting and
// showing boxes, so calls that the clean-up cancels end quietly. Its threads
// are not waited for; they end with the process.
void EndRemoteServer();
