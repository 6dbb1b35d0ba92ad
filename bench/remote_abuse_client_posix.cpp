// Raw TCP client and /proc counts for the remote abuse program.
#include "bench/remote_abuse_client_posix.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protocol/remote_protocol.h"
#include "tests/support/loopback_socket_posix.h"

namespace {

// poll() for one event, resumed after signals; >0 ready, 0 timed out.
int PollFor(int fd, short events, int timeoutMs) {
    for (;;) {
        pollfd waiting = {fd, events, 0};
        int ready = ::poll(&waiting, 1, timeoutMs);
        if (ready >= 0 || errno != EINTR) {
            return ready;
        }
    }
}

int CountEntries(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    ::closedir(dir);
    return count;
}

}  // namespace

AbuseClient::~AbuseClient() {
    Close();
}

bool AbuseClient::Connect(const std::string& host, uint16_t port, int timeoutMs,
                          int receiveBuffer) {
    Close();
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS && PollFor(fd, POLLOUT, timeoutMs) > 0) {
        int error = 0;
        socklen_t size = sizeof error;
        connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    if (!connected) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool AbuseClient::SendAll(const void* bytes, int count) {
    const char* at = static_cast<const char*>(bytes);
    while (count > 0) {
        int sent = SendSome(at, count);
        if (sent < 0 || (sent == 0 && !WaitWritable(10000))) {
            return false;
        }
        at += sent;
        count -= sent;
    }
    return true;
}

int AbuseClient::SendSome(const void* bytes, int count) {
    for (;;) {
        ssize_t sent = ::send(fd_, bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
        if (sent >= 0) {
            return static_cast<int>(sent);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

bool AbuseClient::WaitWritable(int timeoutMs) {
    return PollFor(fd_, POLLOUT, timeoutMs) > 0;
}

bool AbuseClient::ReceiveExactly(unsigned char* bytes, int count, int timeoutMs) {
    int got = 0;
    while (got < count) {
        if (PollFor(fd_, POLLIN, timeoutMs) <= 0) {
            return false;
        }
        ssize_t n = ::recv(fd_, bytes + got, static_cast<size_t>(count - got), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<int>(n);
    }
    return true;
}

long AbuseClient::Drain() {
    long total = 0;
    unsigned char bytes[4096];
    for (;;) {
        ssize_t n = ::recv(fd_, bytes, sizeof bytes, MSG_DONTWAIT);
        if (n > 0) {
            total += n;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return total;
        }
        return -1;
    }
}

bool AbuseClient::Silent(int timeoutMs) {
    return PollFor(fd_, POLLIN, timeoutMs) == 0;
}

bool AbuseClient::WaitForPeerClose(int timeoutMs, long* bytesRead) {
    unsigned char bytes[4096];
    for (;;) {
        if (PollFor(fd_, POLLIN, timeoutMs) <= 0) {
            return false;
        }
        ssize_t n = ::recv(fd_, bytes, sizeof bytes, 0);
        if (n == 0) {
            return true;
        }
        if (n > 0 && bytesRead != nullptr) {
            *bytesRead += n;
        }
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return errno == ECONNRESET;  // a reset ends it too
        }
    }
}

bool AbuseClient::PositionRoundTrip(int timeoutMs) {
    unsigned char request[kRemoteFullRequestSize] = {};
    WriteRemoteInt(request, REMOTE_POSITION);
    unsigned char reply[kRemotePositionSize];
    return SendAll(request, sizeof request) && ReceiveExactly(reply, sizeof reply, timeoutMs);
}

void AbuseClient::ShutdownWrite() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_WR);
    }
}

void AbuseClient::Reset() {
    ResetSocket(&fd_);
}

void AbuseClient::Close() {
    CloseSocket(&fd_);
}

ProcessCounts ReadProcessCounts(int pid) {
    std::string base = "/proc/" + std::to_string(pid);
    ProcessCounts counts;
    counts.fds = CountEntries(base + "/fd");
    counts.tasks = CountEntries(base + "/task");
    return counts;
}
