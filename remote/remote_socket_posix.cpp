// BSD sockets under the remote server, for native builds and tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include "remote/remote_socket.h"

namespace {

class PosixSocketApi : public RemoteSocketApi {
public:
    RemoteSocket Create(int* error) override {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) {
            *error = errno;
            return kNoRemoteSocket;
        }
        // Restarting a server must not wait for old connections to time out.
        int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        return fd;
    }

    int Bind(RemoteSocket socket, uint16_t port) override {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(port);
        if (::bind(Fd(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            return errno;
        }
        return 0;
    }

    int Listen(RemoteSocket socket, int backlog) override {
        return ::listen(Fd(socket), backlog) == 0 ? 0 : errno;
    }

    uint16_t LocalPort(RemoteSocket socket) override {
        sockaddr_in address = {};
        socklen_t length = sizeof address;
        if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return 0;
        }
        return ntohs(address.sin_port);
    }

    RemoteSocket Accept(RemoteSocket listening, int* error) override {
        for (;;) {
            int fd = ::accept4(Fd(listening), nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                return fd;
            }
            if (errno != EINTR) {
                *error = errno;
                return kNoRemoteSocket;
            }
        }
    }

    int Receive(RemoteSocket socket, unsigned char* buffer, int capacity, int* error) override {
        for (;;) {
            ssize_t count = ::recv(Fd(socket), buffer, static_cast<size_t>(capacity), 0);
            if (count >= 0) {
                return static_cast<int>(count);
            }
            if (errno != EINTR) {
                *error = errno;
                return -1;
            }
        }
    }

    int Send(RemoteSocket socket, const unsigned char* bytes, int count) override {
        // MSG_NOSIGNAL: a peer that has gone must not kill the process.
        ssize_t sent = ::send(Fd(socket), bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
        return sent < 0 ? -1 : static_cast<int>(sent);
    }

    bool WaitReadable(RemoteSocket socket, int timeoutMs) override {
        pollfd waiting = {Fd(socket), POLLIN, 0};
        return ::poll(&waiting, 1, timeoutMs) > 0 && (waiting.revents & POLLIN) != 0;
    }

    void Interrupt(RemoteSocket socket) override { ::shutdown(Fd(socket), SHUT_RDWR); }

    void Close(RemoteSocket socket) override { ::close(Fd(socket)); }

private:
    static int Fd(RemoteSocket socket) { return static_cast<int>(socket); }
};

}  // namespace

RemoteSocketApi& PlatformSocketApi() {
    // Never destroyed: detached sessions may still use it while the process
    // exits.
    static PosixSocketApi* api = new PosixSocketApi;
    return *api;
}

bool IsPeerResetError(int error) {
    return error == ECONNRESET;
}

bool IsAbortedPendingConnection(int error) {
    switch (error) {
        case ECONNABORTED:
        case ECONNRESET:
        // Linux hands errors already pending on the new connection to
        // accept; they concern that connection, not the listener.
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}
