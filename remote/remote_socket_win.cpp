// Winsock 1.1 under the remote server, for the program. WSAStartup and
// WSACleanup are the entry's business.
#include <winsock.h>

#include <map>
#include <mutex>

#include "remote/remote_socket.h"

namespace {

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
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Marks& marks = marks_[socket];
            if (marks.interrupted) {
                return 0;
            }
            marks.receiving = true;
        }
        int count = ::recv(Handle(socket), reinterpret_cast<char*>(buffer), capacity, 0);
        int lastError = count == SOCKET_ERROR ? WSAGetLastError() : 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Marks& marks = marks_[socket];
            marks.receiving = false;
            if (marks.interrupted) {
                return 0;  // whatever recv saw: the socket was shut or closed under it
            }
        }
        if (count == SOCKET_ERROR) {
            *error = lastError;
            return -1;
        }
        return count;
    }

    int Send(RemoteSocket socket, const unsigned char* bytes, int count) override {
        int sent = ::send(Handle(socket), reinterpret_cast<const char*>(bytes), count, 0);
        return sent == SOCKET_ERROR ? -1 : sent;
    }

    bool WaitReadable(RemoteSocket socket, int timeoutMs) override {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Handle(socket), &readable);
        timeval limit = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        return ::select(0, &readable, nullptr, nullptr, &limit) > 0;
    }

    void Interrupt(RemoteSocket socket) override {
        std::lock_guard<std::mutex> lock(mutex_);
        Marks& marks = marks_[socket];
        marks.interrupted = true;
        ::shutdown(Handle(socket), 2);
        if (marks.receiving && !marks.closed) {
            // A recv blocked on the socket does not return on shutdown (so
            // under Wine 8); closing the socket ends it. Close then has
            // nothing left to close. Should the handle value be reused
            // before the receiving thread reaches recv, that recv fails on
            // a handle that is no socket of its session (the server accepts
            // the next client only after this session has ended) and
            // Receive still returns 0.
            ::closesocket(Handle(socket));
            marks.closed = true;
        }
    }

    void Close(RemoteSocket socket) override {
        bool closed = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto marks = marks_.find(socket);
            if (marks != marks_.end()) {
                closed = marks->second.closed;
                marks_.erase(marks);  // the handle value may be handed out again
            }
        }
        if (!closed) {
            ::closesocket(Handle(socket));
        }
    }

private:
    struct Marks {
        bool receiving = false;    // a thread is in (or about to enter) recv
        bool interrupted = false;  // Receive returns 0 from now on
        bool closed = false;       // Interrupt closed it to wake the recv
    };

    static SOCKET Handle(RemoteSocket socket) { return static_cast<SOCKET>(socket); }

    std::mutex mutex_;
    std::map<RemoteSocket, Marks> marks_;  // sockets received on or interrupted, until Close
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
