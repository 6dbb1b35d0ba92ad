// BSD-socket connection of a remote client.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/deadline.h"
#include "protocol/remote_client_socket.h"

namespace {

// Connects fd without blocking longer than timeoutMs; 0 or an errno value.
int ConnectWithin(int fd, const sockaddr* address, socklen_t length, int timeoutMs) {
    int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int result = 0;
    if (::connect(fd, address, length) != 0) {
        if (errno != EINPROGRESS) {
            result = errno;
        } else {
            pollfd waiting = {fd, POLLOUT, 0};
            int ready = ::poll(&waiting, 1, timeoutMs);
            if (ready == 0) {
                result = ETIMEDOUT;
            } else if (ready < 0) {
                result = errno;
            } else {
                socklen_t size = sizeof result;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size);
            }
        }
    }
    ::fcntl(fd, F_SETFL, flags);
    return result;
}

}  // namespace

void StartClientSockets() {}

SocketRemoteConnection::~SocketRemoteConnection() {
    Close();
}

bool SocketRemoteConnection::Open(const std::string& host, uint16_t port, int timeoutMs,
                                  std::string* error) {
    Close();
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    char service[8];
    std::snprintf(service, sizeof service, "%u", unsigned(port));
    int lookup = ::getaddrinfo(host.c_str(), service, &hints, &found);
    if (lookup != 0) {
        *error = ::gai_strerror(lookup);
        return false;
    }
    int failure = 0;
    for (addrinfo* at = found; at != nullptr; at = at->ai_next) {
        int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd < 0) {
            failure = errno;
            continue;
        }
        failure = ConnectWithin(fd, at->ai_addr, at->ai_addrlen, timeoutMs);
        if (failure == 0) {
            // Requests are small and each waits for its reply.
            int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            handle_ = fd;
            break;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    if (handle_ < 0) {
        *error = std::strerror(failure != 0 ? failure : EHOSTUNREACH);
        return false;
    }
    return true;
}

bool SocketRemoteConnection::SendAll(const unsigned char* bytes, int count) {
    while (count > 0) {
        ssize_t sent =
            ::send(static_cast<int>(handle_), bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        count -= static_cast<int>(sent);
    }
    return true;
}

ReceiveResult SocketRemoteConnection::Receive(unsigned char* bytes, int count, int timeoutMs) {
    const Deadline deadline(timeoutMs);
    int got = 0;
    while (got < count) {
        int left = deadline.LeftMs();
        if (left <= 0) {
            return {ReceiveEnd::TimedOut, got};
        }
        pollfd waiting = {static_cast<int>(handle_), POLLIN, 0};
        int ready = ::poll(&waiting, 1, left);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            return {ReceiveEnd::TimedOut, got};
        }
        if (ready < 0) {
            return {ReceiveEnd::Failed, got};
        }
        ssize_t n =
            ::recv(static_cast<int>(handle_), bytes + got, static_cast<size_t>(count - got), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            return {ReceiveEnd::Closed, got};
        }
        if (n < 0) {
            return {errno == ECONNRESET ? ReceiveEnd::Closed : ReceiveEnd::Failed, got};
        }
        got += static_cast<int>(n);
    }
    return {ReceiveEnd::Complete, got};
}

void SocketRemoteConnection::Close() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}
