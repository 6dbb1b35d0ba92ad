// The reference for the remote benchmark: the least a TCP server can do per
// request, one blocking thread per connection answering every 12 bytes
// received with 8 bytes. Its figures are the floor of the machine.
#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include "remote/remote_socket.h"

class EchoResponder {
public:
    explicit EchoResponder(RemoteSocketApi& sockets);
    ~EchoResponder();  // stops it
    EchoResponder(const EchoResponder&) = delete;
    EchoResponder& operator=(const EchoResponder&) = delete;

    // Listens on a free loopback port; the port, or 0 on failure.
    uint16_t Start();
    // Stops accepting, ends every connection and joins the threads.
    void Stop();

private:
    void AcceptLoop();
    void Serve(RemoteSocket connected);

    RemoteSocketApi& sockets_;
    RemoteSocket listening_ = kNoRemoteSocket;
    std::thread acceptor_;
    std::mutex mutex_;
    bool stopping_ = false;
    std::set<RemoteSocket> clients_;
    std::list<std::thread> sessions_;
};
