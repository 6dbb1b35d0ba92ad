// Winsock 1.1 under the remote server, for the program. WSAStartup and
// WSACleanup are the entry's business.
#include <winsock.h>

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

    void Interrupt(RemoteSocket socket) override { ::shutdown(Handle(socket), 2); }

    void Close(RemoteSocket socket) override { ::closesocket(Handle(socket)); }

private:
    static SOCKET Handle(RemoteSocket socket) { return static_cast<SOCKET>(socket); }
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
