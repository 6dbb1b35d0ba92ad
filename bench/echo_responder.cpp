// A minimal thread-per-connection responder: 8 bytes back per 12 received.
#include "bench/echo_responder.h"

#include <string>

#include "protocol/remote_client_socket.h"
#include "protocol/remote_protocol.h"

namespace {

const int kRequestBytes = kRemoteFullRequestSize;
const int kReplyBytes = kRemotePositionSize;

}  // namespace

EchoResponder::EchoResponder(RemoteSocketApi& sockets) : sockets_(sockets) {}

EchoResponder::~EchoResponder() {
    Stop();
}

uint16_t EchoResponder::Start() {
    int error = 0;
    listening_ = sockets_.Create(&error);
    if (listening_ == kNoRemoteSocket) {
        return 0;
    }
    uint16_t port = 0;
    if (sockets_.Bind(listening_, 0) == 0 && sockets_.Listen(listening_, 64) == 0) {
        port = sockets_.LocalPort(listening_);
    }
    if (port == 0) {
        sockets_.Close(listening_);
        listening_ = kNoRemoteSocket;
        return 0;
    }
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return port;
}

void EchoResponder::AcceptLoop() {
    for (;;) {
        int error = 0;
        RemoteSocket connected = sockets_.Accept(listening_, &error);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || connected == kNoRemoteSocket) {
            if (connected != kNoRemoteSocket) {
                sockets_.Close(connected);
            }
            return;
        }
        clients_.insert(connected);
        sessions_.emplace_back([this, connected] { Serve(connected); });
    }
}

void EchoResponder::Serve(RemoteSocket connected) {
    unsigned char request[kRequestBytes];
    unsigned char reply[kReplyBytes] = {};
    int have = 0;
    for (;;) {
        int error = 0;
        int count = sockets_.Receive(connected, request + have, kRequestBytes - have, &error);
        if (count <= 0) {
            break;
        }
        have += count;
        if (have == kRequestBytes) {
            sockets_.Send(connected, reply, kReplyBytes);
            have = 0;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(connected);
    sockets_.Close(connected);
}

void EchoResponder::Stop() {
    uint16_t port;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || listening_ == kNoRemoteSocket) {
            return;
        }
        stopping_ = true;
        port = sockets_.LocalPort(listening_);
        for (RemoteSocket client : clients_) {
            sockets_.Interrupt(client);
        }
    }
    // A connection of our own wakes the accept on every platform.
    SocketRemoteConnection wake;
    std::string error;
    if (!wake.Open("127.0.0.1", port, 5000, &error)) {
        sockets_.Interrupt(listening_);
    }
    acceptor_.join();
    wake.Close();
    for (std::thread& session : sessions_) {
        session.join();
    }
    sockets_.Close(listening_);
    listening_ = kNoRemoteSocket;
}
