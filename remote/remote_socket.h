// The thin socket layer under the remote server: Winsock 1.1 in the program
// (remote_socket_win.cpp), BSD sockets natively (remote_socket_posix.cpp).
#pragma once

#include <cstdint>

// A socket handle: a SOCKET in the program, a file descriptor natively.
using RemoteSocket = std::intptr_t;
const RemoteSocket kNoRemoteSocket = -1;

// Calls that fail report the platform's sockets error code: the Winsock
// error (WSAGetLastError) in the program, errno natively.
class RemoteSocketApi {
public:
    virtual ~RemoteSocketApi() = default;

    // A TCP/IPv4 stream socket; kNoRemoteSocket and *error on failure.
    virtual RemoteSocket Create(int* error) = 0;
    // Binds to port on all interfaces (0: any free port). 0 or an error code.
    virtual int Bind(RemoteSocket socket, uint16_t port) = 0;
    // 0 or an error code.
    virtual int Listen(RemoteSocket socket, int backlog) = 0;
    // The local port a socket is bound to; 0 when it cannot be read.
    virtual uint16_t LocalPort(RemoteSocket socket) = 0;
    // Waits for one connection; kNoRemoteSocket and *error on failure.
    virtual RemoteSocket Accept(RemoteSocket listening, int* error) = 0;
    // Receives up to capacity bytes: their count, 0 when the peer has closed,
    // -1 and *error on failure.
    virtual int Receive(RemoteSocket socket, unsigned char* buffer, int capacity, int* error) = 0;
    // One send call; returns what it sent or -1. Never raises a signal.
    virtual int Send(RemoteSocket socket, const unsigned char* bytes, int count) = 0;
    // True when the socket has something to read within timeoutMs (0: look
    // without waiting); on a listening socket, when a connection waits to be
    // accepted. False on time-out or error.
    virtual bool WaitReadable(RemoteSocket socket, int timeoutMs) = 0;
    // Shuts the socket down and wakes a thread blocked in Receive on it,
    // which then returns 0 as if the peer had closed; so does every later
    // Receive in the program. Natively it wakes a blocked Accept too; the
    // program never stops accepting. Close must still be called.
    virtual void Interrupt(RemoteSocket socket) = 0;
    virtual void Close(RemoteSocket socket) = 0;
};

// The platform's sockets.
RemoteSocketApi& PlatformSocketApi();

// A receive error meaning the peer reset the connection: 10054
// (WSAECONNRESET) in the program, ECONNRESET natively.
bool IsPeerResetError(int error);

// An accept error caused by one pending connection that was reset or
// aborted before it was taken: the listening socket is still good.
bool IsAbortedPendingConnection(int error);
