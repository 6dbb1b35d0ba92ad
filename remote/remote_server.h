// The remote-control server: a chain of acceptor threads on one listening
// socket, each serving the client it accepted on its own thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <thread>

#include "protocol/remote_protocol.h"
#include "remote/remote_server_observer.h"
#include "remote/remote_socket.h"

const int kRemoteBacklog = 5;

// Clients served at once. Further clients wait in the listen queue: the
// acceptor does not accept until a session has ended or been closed to make
// room.
const int kRemoteMaxClients = 64;

// When every slot is taken and another client waits, the session idle
// longest is closed if it has had no request for at least this long. A
// session still handling an older request is closed too: it ends as soon as
// that request does.
const std::chrono::milliseconds kRemoteIdleLimit{30000};

// How often a full server looks for a waiting client.
const std::chrono::milliseconds kRemoteFullCheckPeriod{250};

using RemoteClock = std::function<std::chrono::steady_clock::time_point()>;

struct RemoteServerOptions {
    int maxClients = kRemoteMaxClients;
    std::chrono::milliseconds idleLimit = kRemoteIdleLimit;
    std::chrono::milliseconds fullCheckPeriod = kRemoteFullCheckPeriod;
    RemoteClock clock = std::chrono::steady_clock::now;  // times the requests
    RemoteServerObserver* observer = nullptr;            // must outlive the server
};

// One server. The program runs one on g_nRemotePort for the whole run (see
// StartRemoteThread below); tests and benches run their own on a free port
// and stop it.
class RemoteServer {
public:
    // port 0 picks a free port when the first acceptor opens its socket.
    RemoteServer(RemoteSocketApi& sockets, uint16_t port,
                 RemoteServerOptions options = RemoteServerOptions());
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

    // From now on no box is shown, nothing more is accepted and connected
    // sessions are woken to end; returns at once.
    void BeginStop();

    // BeginStop, then joins every thread and closes the sockets the server
    // opened.
    void Stop();

private:
    enum class OpenState { Pending, Listening, Failed };

    struct Worker {
        std::thread thread;
        bool done = false;
    };

    struct Client {
        // The accept, then the arrival and the end of each request: a
        // request that waits long counts from when it came.
        std::chrono::steady_clock::time_point lastRequest;
        bool inRequest = false;  // being handled (may wait for the line)
        bool closing = false;    // interrupted to make room; ends by itself
        std::chrono::steady_clock::time_point closingSince;
    };

    int RemoteAcceptThread(RemoteSocket listening);
    int RemoteSession(RemoteSocket connected);

    RemoteSocket OpenListeningSocket();
    void SetOpenState(OpenState state);
    void SetAcceptorState(RemoteAcceptorState state);
    bool ReserveSlot(RemoteSocket listening);
    void CloseLongestIdleSession();
    void ReleaseSlot();
    bool IsStopping();
    void BeginRequest(RemoteSocket connected);
    bool EndRequest(RemoteSocket connected);
    void ReapFinishedWorkers();
    void Changed();
    // "Error <error>", with " (TCP port <port>)" when port is not 0.
    void ShowSocketError(int error, const char* caption, uint16_t port = 0);

    RemoteSocketApi& sockets_;
    const uint16_t port_;
    const RemoteServerOptions options_;

    // Everything below is guarded by mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    RemoteSocket listening_ = kNoRemoteSocket;
    bool ownsListening_ = false;
    uint16_t listenPort_ = 0;
    OpenState openState_ = OpenState::Pending;
    RemoteAcceptorState acceptor_ = RemoteAcceptorState::None;
    int busySlots_ = 0;  // running sessions plus the acceptor's reservation
    long requests_ = 0;
    int inRequests_ = 0;
    long fullChecks_ = 0;
    long closedForRoom_ = 0;
    std::map<RemoteSocket, Client> clients_;
    std::list<Worker> workers_;
};

// The program's TCP port: kRemotePort unless the command line names
// another. Written once by start-up before StartRemoteThread, read-only
// afterwards (no lock).
extern uint16_t g_nRemotePort;

// The program's server on g_nRemotePort: starts an acceptor thread on
// listening, or with kNoRemoteSocket opens the listening socket first.
// WSAStartup must have been called. The server runs until the process ends.
void StartRemoteThread(RemoteSocket listening);

// Shutdown, before WSACleanup: the program's server stops accepting and
// showing boxes, so calls that the clean-up cancels end quietly. Its threads
// are not waited for; they end with the process.
void EndRemoteServer();
