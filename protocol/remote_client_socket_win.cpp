// Winsock 1.1 connection of a remote client, for the Windows builds of the clients.
#include <winsock.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/deadline.h"
#include "protocol/remote_client_socket.h"

namespace {

std::string ErrorText(int error) {
    switch (error) {
        case WSAECONNREFUSED:
            return "Connection refused";
        case WSAETIMEDOUT:
            return "Connection timed out";
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
            return "No route to host";
        case WSAHOST_NOT_FOUND:
        case WSANO_DATA:
            return "Host not found";
        default:
            return "Winsock error " + std::to_string(error);
    }
}

// Waits until socket s is readable (or writable); false on time-out.
bool WaitFor(SOCKET s, bool write, int timeoutMs, bool* failed) {
    fd_set ready, broken;
    FD_ZERO(&ready);
    FD_ZERO(&broken);
    FD_SET(s, &ready);
    FD_SET(s, &broken);
    timeval limit = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int count = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &broken, &limit);
    *failed = count == SOCKET_ERROR || FD_ISSET(s, &broken);
    return count > 0;
}

}  // namespace

void StartClientSockets() {
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
}

SocketRemoteConnection::~SocketRemoteConnection() {
    Close();
}

bool SocketRemoteConnection::Open(const std::string& host, uint16_t port, int timeoutMs,
                                  std::string* error) {
    Close();
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = inet_addr(host.c_str());
    if (address.sin_addr.s_addr == INADDR_NONE) {
        hostent* found = gethostbyname(host.c_str());
        if (found == nullptr || found->h_addrtype != AF_INET) {
            *error = ErrorText(WSAGetLastError());
            return false;
        }
        std::memcpy(&address.sin_addr, found->h_addr_list[0], sizeof address.sin_addr);
    }
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        *error = ErrorText(WSAGetLastError());
        return false;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    int failure = 0;
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        failure = WSAGetLastError();
        if (failure == WSAEWOULDBLOCK) {
            bool failed = false;
            if (!WaitFor(s, true, timeoutMs, &failed)) {
                failure = failed ? WSAECONNREFUSED : WSAETIMEDOUT;
            } else {
                failure = 0;
            }
            if (failed) {
                int code = 0;
                int size = sizeof code;
                ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size);
                failure = code != 0 ? code : WSAECONNREFUSED;
            }
        }
    }
    if (failure != 0) {
        ::closesocket(s);
        *error = ErrorText(failure);
        return false;
    }
    nonBlocking = 0;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    handle_ = static_cast<std::intptr_t>(s);
    return true;
}

bool SocketRemoteConnection::SendAll(const unsigned char* bytes, int count) {
    while (count > 0) {
        int sent =
            ::send(static_cast<SOCKET>(handle_), reinterpret_cast<const char*>(bytes), count, 0);
        if (sent == SOCKET_ERROR || sent == 0) {
            return false;
        }
        bytes += sent;
        count -= sent;
    }
    return true;
}

ReceiveResult SocketRemoteConnection::Receive(unsigned char* bytes, int count, int timeoutMs) {
    SOCKET s = static_cast<SOCKET>(handle_);
    const Deadline deadline(timeoutMs);
    int got = 0;
    while (got < count) {
        int left = deadline.LeftMs();
        bool failed = false;
        if (left <= 0 || !WaitFor(s, false, left, &failed)) {
            return {failed ? ReceiveEnd::Failed : ReceiveEnd::TimedOut, got};
        }
        if (failed) {
            return {ReceiveEnd::Failed, got};
        }
        int n = ::recv(s, reinterpret_cast<char*>(bytes + got), count - got, 0);
        if (n == 0) {
            return {ReceiveEnd::Closed, got};
        }
        if (n == SOCKET_ERROR) {
            return {WSAGetLastError() == WSAECONNRESET ? ReceiveEnd::Closed : ReceiveEnd::Failed,
                    got};
        }
        got += n;
    }
    return {ReceiveEnd::Complete, got};
}

void SocketRemoteConnection::Close() {
    if (handle_ != -1) {
        ::closesocket(static_cast<SOCKET>(handle_));
        handle_ = -1;
    }
}
