// Opening and closing the POSIX client sockets of the remote server tests
// and the remote abuse program.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

// A blocking connect to 127.0.0.1:port; the descriptor, or -1. A receive
// buffer size above 0 is set before connecting.
inline int ConnectLoopback(uint16_t port, int receiveBuffer = 0) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Closes *fd when open and marks it closed.
inline void CloseSocket(int* fd) {
    if (*fd >= 0) {
        ::close(*fd);
        *fd = -1;
    }
}

// Abortive close: the peer sees a reset.
inline void ResetSocket(int* fd) {
    if (*fd >= 0) {
        linger abortive = {1, 0};
        ::setsockopt(*fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        CloseSocket(fd);
    }
}
