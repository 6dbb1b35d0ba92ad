// A client's connection to the remote server, for zubremote, zubweb and the
// benches: BSD sockets natively (remote_client_socket_posix.cpp), Winsock 1.1
// for Windows builds (remote_client_socket_win.cpp).
#pragma once

#include <cstdint>
#include <string>

// Starts the sockets library where the platform needs it (Winsock); once,
// before any socket is used.
void StartClientSockets();

// How a receive ended, and how many bytes it had by then.
enum class ReceiveEnd { Complete, Closed, TimedOut, Failed };
struct ReceiveResult {
    ReceiveEnd end;
    int received;
};

// What the client needs of a connection; zubremote's client is written
// against this so that it carries no platform code.
class RemoteConnection {
public:
    virtual ~RemoteConnection() = default;

    // Connects to host (a name or an IPv4 address) within timeoutMs. On
    // failure returns false with a message such as "Connection refused".
    virtual bool Open(const std::string& host, uint16_t port, int timeoutMs,
                      std::string* error) = 0;

    // Sends every byte; false when the connection fails.
    virtual bool SendAll(const unsigned char* bytes, int count) = 0;

    // Receives count bytes within timeoutMs in all; stops early when the
    // peer closes, the connection fails or the time is up.
    virtual ReceiveResult Receive(unsigned char* bytes, int count, int timeoutMs) = 0;

    // Receive, true only when all count bytes came.
    bool ReceiveExactly(unsigned char* bytes, int count, int timeoutMs) {
        return Receive(bytes, count, timeoutMs).end == ReceiveEnd::Complete;
    }

    virtual void Close() = 0;
};

// A TCP connection over the platform's sockets.
class SocketRemoteConnection : public RemoteConnection {
public:
    SocketRemoteConnection() = default;
    ~SocketRemoteConnection() override;
    SocketRemoteConnection(const SocketRemoteConnection&) = delete;
    SocketRemoteConnection& operator=(const SocketRemoteConnection&) = delete;

    bool Open(const std::string& host, uint16_t port, int timeoutMs, std::string* error) override;
    bool SendAll(const unsigned char* bytes, int count) override;
    ReceiveResult Receive(unsigned char* bytes, int count, int timeoutMs) override;
    void Close() override;

private:
    std::intptr_t handle_ = -1;
};
