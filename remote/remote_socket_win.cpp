// Winsock 1.1 under the remote server, for the program. WSAStartup and
// WSACleanup are the entry's business.
#include <winsock.h>

#include <mutex>
#include <set>

#include "remote/remote_socket.h"

namespace {

// A recv blocked on a socket does not return when another thread shuts the
// socket down (so under Wine 8), so Receive waits for data in slices of
// this length and looks between them whether the socket was interrupted.
const int kInterruptSliceMs = 200;

class WinsockApi : public RemoteSocketApi {
public:
    RemoteSocket Create(int* error) override {
        SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            *error = WSAGetLastError();
            return kNoRemoteSocket;
        }
        return static_cast<RemoteSocket>(s);
    }

    int Bind(RemoteSocket socket, uint16_t port) override {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(port);
        if (::bind(Handle(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            return WSAGetLastError();
        }
        return 0;
    }

    int Listen(RemoteSocket socket, int backlog) override {
        return ::listen(Handle(socket), backlog) == 0 ? 0 : WSAGetLastError();
    }

    uint16_t LocalPort(RemoteSocket socket) override {
        sockaddr_in address = {};
        int length = sizeof address;
        if (::getsockname(Handle(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return 0;
        }
        return ntohs(address.sin_port);
    }

    RemoteSocket Accept(RemoteSocket listening, int* error) override {
        SOCKET s = ::accept(Handle(listening), nullptr, nullptr);
        if (s == INVALID_SOCKET) {
            *error = WSAGetLastError();
            return kNoRemoteSocket;
        }
        return static_cast<RemoteSocket>(s);
    }

    int Receive(RemoteSocket socket, unsigned char* buffer, int capacity, int* error) override {
        for (;;) {
            if (IsInterrupted(socket)) {
                return 0;
            }
            int ready = Select(socket, kInterruptSliceMs);
            if (ready == SOCKET_ERROR) {
                *error = WSAGetLastError();
                return -1;
            }
            if (ready > 0) {
                break;
            }
        }
        int count = ::recv(Handle(socket), reinterpret_cast<char*>(buffer), capacity, 0);
        if (count == SOCKET_ERROR) {
            *error = WSAGetLastError();
            return -1;
        }
        return count;
    }

    int Send(RemoteSocket socket, const unsigned char* bytes, int count) override {
        int sent = ::send(Handle(socket), reinterpret_cast<const char*>(bytes), count, 0);
        return sent == SOCKET_ERROR ? -1 : sent;
    }

    bool WaitReadable(RemoteSocket socket, int timeoutMs) override {
        return Select(socket, timeoutMs) > 0;
    }

    void Interrupt(RemoteSocket socket) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            interrupted_.insert(socket);
        }
        ::shutdown(Handle(socket), 2);
    }

    void Close(RemoteSocket socket) override {
        {
            // The handle value may be handed out again once it is closed.
            std::lock_guard<std::mutex> lock(mutex_);
            interrupted_.erase(socket);
        }
        ::closesocket(Handle(socket));
    }

private:
    static SOCKET Handle(RemoteSocket socket) { return static_cast<SOCKET>(socket); }

    // select() for readability: 1 ready, 0 timed out, SOCKET_ERROR.
    static int Select(RemoteSocket socket, int timeoutMs) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Handle(socket), &readable);
        timeval limit = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        return ::select(0, &readable, nullptr, nullptr, &limit);
    }

    bool IsInterrupted(RemoteSocket socket) {
        std::lock_guard<std::mutex> lock(mutex_);
        return interrupted_.count(socket) != 0;
    }

    std::mutex mutex_;
    std::set<RemoteSocket> interrupted_;  // shut down by Interrupt, not yet closed
};

}  // namespace

RemoteSocketApi& PlatformSocketApi() {
    // Never destroyed: detached sessions may still use it while the process
    // exits.
    static WinsockApi* api = new WinsockApi;
    return *api;
}

bool IsPeerResetError(int error) {
    return error == WSAECONNRESET;
}

bool IsAbortedPendingConnection(int error) {
    return error == WSAECONNRESET || error == WSAECONNABORTED;
}
