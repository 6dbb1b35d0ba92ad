// What a remote server reports about itself to an optional observer: a
// snapshot after every change, so that benches and tests can wait for a
// state without the server carrying waits of its own.
#pragma once

enum class RemoteAcceptorState {
    None,            // nobody accepts: not started, stopped, or ended on an error
    Starting,        // a thread for the next acceptor is being started
    Opening,         // the first acceptor creates, binds and listens
    WaitingForSlot,  // every client slot is taken
    Accepting,       // a slot is reserved; waiting in accept
};

struct RemoteServerState {
    RemoteAcceptorState acceptor = RemoteAcceptorState::None;
    int sessions = 0;        // clients being served
    long requests = 0;       // receives of at least one byte since the start
    int inRequests = 0;      // requests being handled now
    int threadRecords = 0;   // threads started and not yet joined
    long fullChecks = 0;     // times a full server looked for a waiting client
    long closedForRoom = 0;  // idle sessions closed to make room for one
};

class RemoteServerObserver {
public:
    virtual ~RemoteServerObserver() = default;
    // Called after every change with the server's lock held: must return
    // quickly and must not call the server.
    virtual void OnRemoteServerChange(const RemoteServerState& state) = 0;
};
