// Helpers for the remote server tests: a loopback client, a socket layer
// that injects failures, a clock to move by hand, a serial line that can be
// waited on and a scratch working directory.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "remote/remote_server.h"
#include "remote/remote_socket.h"
#include "tests/support/scripted_line.h"

const std::chrono::milliseconds kRemoteTestLimit{10000};

// A blocking TCP client on 127.0.0.1. Every wait is bounded by a limit.
class TestRemoteClient {
public:
    explicit TestRemoteClient(uint16_t port);
    ~TestRemoteClient();
    TestRemoteClient(const TestRemoteClient&) = delete;
    TestRemoteClient& operator=(const TestRemoteClient&) = delete;

    bool Connected() const { return fd_ >= 0; }

    // Sends the first size bytes of command, disc, track (little-endian).
    bool SendRequest(int32_t command, int32_t disc = 0, int32_t track = 0, int size = 12);
    bool SendBytes(const void* bytes, int count);

    // Receives exactly count bytes; false on close, error or time-out.
    bool ReceiveExactly(unsigned char* bytes, int count,
                        std::chrono::milliseconds limit = kRemoteTestLimit);

    // A position round trip ('4', 4 bytes so the arguments in the server's
    // buffer stay as they are). Also proves earlier requests were handled.
    bool QueryPosition(int32_t* disc, int32_t* track);

    // True when the server closes the connection within limit.
    bool WaitForServerClose(std::chrono::milliseconds limit = kRemoteTestLimit);

    void ShutdownWrite();  // a clean close of our side, keeping reads open
    void Reset();          // abortive close: the server sees a reset
    void Close();

private:
    int fd_ = -1;
};

// The platform's sockets with failures injected on demand.
class FaultySocketApi : public RemoteSocketApi {
public:
    // The next Accept calls fail with these codes, in order, before any
    // real accept happens (the pending connection stays queued).
    void FailAccepts(std::deque<int> errors);
    // The next Receive call fails with this code without reading.
    void FailNextReceive(int error);
    // While set, Interrupt does nothing: the session it should wake hangs on
    // as a session blocked where no shutdown reaches it would.
    void IgnoreInterrupts(bool ignore);
    int AcceptCalls();
    int Closes();

    RemoteSocket Create(int* error) override;
    int Bind(RemoteSocket socket, uint16_t port) override;
    int Listen(RemoteSocket socket, int backlog) override;
    uint16_t LocalPort(RemoteSocket socket) override;
    RemoteSocket Accept(RemoteSocket listening, int* error) override;
    int Receive(RemoteSocket socket, unsigned char* buffer, int capacity, int* error) override;
    int Send(RemoteSocket socket, const unsigned char* bytes, int count) override;
    bool WaitReadable(RemoteSocket socket, int timeoutMs) override;
    void Interrupt(RemoteSocket socket) override;
    void Close(RemoteSocket socket) override;

private:
    RemoteSocketApi& real_ = PlatformSocketApi();
    std::mutex mutex_;
    std::deque<int> acceptErrors_;
    int receiveError_ = 0;
    bool ignoreInterrupts_ = false;
    int acceptCalls_ = 0;
    int closes_ = 0;
};

// A clock that stands still until a test moves it, for the idle limit.
class FakeRemoteClock {
public:
    std::chrono::steady_clock::time_point Now() const {
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms_.load()));
    }
    void Set(std::chrono::milliseconds at) { ms_ = at.count(); }
    // The clock for a server's options; this object must outlive the server.
    RemoteClock Clock() const {
        return [this] { return Now(); };
    }

private:
    std::atomic<long long> ms_{0};
};

// A scripted line whose writes can be waited for.
class WatchedLine : public ScriptedLine {
public:
    int Write(const unsigned char* bytes, int count) override;
    // Waits until at least count frames have been written.
    bool WaitForFrames(int count, std::chrono::milliseconds limit = kRemoteTestLimit);

private:
    std::mutex watchMutex_;
    std::condition_variable written_;
    int frames_ = 0;
};

// Makes a fresh empty directory the working directory for its lifetime.
class ScratchWorkingDir {
public:
    ScratchWorkingDir();
    ~ScratchWorkingDir();
    void WriteFile(const std::string& name, const std::string& content);

private:
    std::string previous_;
    std::string path_;
};
