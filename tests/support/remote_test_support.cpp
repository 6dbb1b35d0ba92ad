// Loopback client, fault-injecting sockets, watched line and scratch
// directory for the remote server tests.
#include "tests/support/remote_test_support.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "protocol/remote_protocol.h"
#include "tests/support/locked_value.h"
#include "tests/support/loopback_socket_posix.h"

TestRemoteClient::TestRemoteClient(uint16_t port) : fd_(ConnectLoopback(port)) {}

TestRemoteClient::~TestRemoteClient() {
    Close();
}

bool TestRemoteClient::SendRequest(int32_t command, int32_t disc, int32_t track, int size) {
    unsigned char request[kRemoteFullRequestSize];
    WriteRemoteInt(request + kRemoteCommandOffset, command);
    WriteRemoteInt(request + kRemoteDiscOffset, disc);
    WriteRemoteInt(request + kRemoteTrackOffset, track);
    return SendBytes(request, size);
}

bool TestRemoteClient::SendBytes(const void* bytes, int count) {
    const char* at = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t sent = ::send(fd_, at, static_cast<size_t>(count), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        at += sent;
        count -= static_cast<int>(sent);
    }
    return true;
}

bool TestRemoteClient::ReceiveExactly(unsigned char* bytes, int count,
                                      std::chrono::milliseconds limit) {
    int got = 0;
    while (got < count) {
        pollfd waiting = {fd_, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(limit.count())) <= 0) {
            return false;
        }
        ssize_t n = ::recv(fd_, bytes + got, static_cast<size_t>(count - got), 0);
        if (n <= 0) {
            return false;
        }
        got += static_cast<int>(n);
    }
    return true;
}

bool TestRemoteClient::QueryPosition(int32_t* disc, int32_t* track) {
    unsigned char reply[kRemotePositionSize];
    if (!SendRequest(REMOTE_POSITION, 0, 0, 4) || !ReceiveExactly(reply, sizeof reply)) {
        return false;
    }
    *disc = ReadRemoteInt(reply);
    *track = ReadRemoteInt(reply + 4);
    return true;
}

bool TestRemoteClient::WaitForServerClose(std::chrono::milliseconds limit) {
    pollfd waiting = {fd_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(limit.count())) <= 0) {
        return false;
    }
    char byte;
    return ::recv(fd_, &byte, 1, 0) == 0;
}

void TestRemoteClient::ShutdownWrite() {
    ::shutdown(fd_, SHUT_WR);
}

void TestRemoteClient::Reset() {
    ResetSocket(&fd_);
}

void TestRemoteClient::Close() {
    CloseSocket(&fd_);
}

void FaultySocketApi::FailAccepts(std::deque<int> errors) {
    std::lock_guard<std::mutex> lock(mutex_);
    acceptErrors_ = std::move(errors);
}

void FaultySocketApi::FailNextReceive(int error) {
    SetLocked(mutex_, receiveError_, error);
}

void FaultySocketApi::IgnoreInterrupts(bool ignore) {
    SetLocked(mutex_, ignoreInterrupts_, ignore);
}

int FaultySocketApi::AcceptCalls() {
    return ReadLocked(mutex_, acceptCalls_);
}

int FaultySocketApi::Closes() {
    return ReadLocked(mutex_, closes_);
}

RemoteSocket FaultySocketApi::Create(int* error) {
    return real_.Create(error);
}

int FaultySocketApi::Bind(RemoteSocket socket, uint16_t port) {
    return real_.Bind(socket, port);
}

int FaultySocketApi::Listen(RemoteSocket socket, int backlog) {
    return real_.Listen(socket, backlog);
}

uint16_t FaultySocketApi::LocalPort(RemoteSocket socket) {
    return real_.LocalPort(socket);
}

RemoteSocket FaultySocketApi::Accept(RemoteSocket listening, int* error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++acceptCalls_;
        if (!acceptErrors_.empty()) {
            *error = acceptErrors_.front();
            acceptErrors_.pop_front();
            return kNoRemoteSocket;
        }
    }
    return real_.Accept(listening, error);
}

int FaultySocketApi::Receive(RemoteSocket socket, unsigned char* buffer, int capacity, int* error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (receiveError_ != 0) {
            *error = receiveError_;
            receiveError_ = 0;
            return -1;
        }
    }
    return real_.Receive(socket, buffer, capacity, error);
}

int FaultySocketApi::Send(RemoteSocket socket, const unsigned char* bytes, int count) {
    return real_.Send(socket, bytes, count);
}

bool FaultySocketApi::WaitReadable(RemoteSocket socket, int timeoutMs) {
    return real_.WaitReadable(socket, timeoutMs);
}

void FaultySocketApi::Interrupt(RemoteSocket socket) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ignoreInterrupts_) {
            return;
        }
    }
    real_.Interrupt(socket);
}

void FaultySocketApi::Close(RemoteSocket socket) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++closes_;
    }
    real_.Close(socket);
}

int WatchedLine::Write(const unsigned char* bytes, int count) {
    int written = ScriptedLine::Write(bytes, count);
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        ++frames_;
    }
    written_.notify_all();
    return written;
}

bool WatchedLine::WaitForFrames(int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(watchMutex_);
    return written_.wait_for(lock, limit, [this, count] { return frames_ >= count; });
}

ScratchWorkingDir::ScratchWorkingDir() {
    char current[PATH_MAX];
    if (::getcwd(current, sizeof current) != nullptr) {
        previous_ = current;
    }
    char pattern[] = "/tmp/zubremote-XXXXXX";
    if (::mkdtemp(pattern) != nullptr && ::chdir(pattern) == 0) {
        path_ = pattern;
    }
}

ScratchWorkingDir::~ScratchWorkingDir() {
    if (path_.empty()) {
        return;
    }
    if (!previous_.empty() && ::chdir(previous_.c_str()) != 0) {
        return;
    }
    std::remove((path_ + "/zub.txt").c_str());
    ::rmdir(path_.c_str());
}

void ScratchWorkingDir::WriteFile(const std::string& name, const std::string& content) {
    std::ofstream file(path_ + "/" + name, std::ios::binary);
    file << content;
}
