// A raw TCP client for abusing the remote server: bounded connects, sends
// and receives, abortive closes, and a view of a process's descriptors and
// threads.
#pragma once

#include <cstdint>
#include <string>

class AbuseClient {
public:
    AbuseClient() = default;
    ~AbuseClient();
    AbuseClient(const AbuseClient&) = delete;
    AbuseClient& operator=(const AbuseClient&) = delete;

    // Connects to an IPv4 address within timeoutMs, with TCP_NODELAY. A
    // receive buffer size above 0 is set before connecting.
    bool Connect(const std::string& host, uint16_t port, int timeoutMs, int receiveBuffer = 0);
    bool Connected() const { return fd_ >= 0; }

    bool SendAll(const void* bytes, int count);
    // Sends what fits without waiting: the count sent, 0 when the socket's
    // buffer is full, -1 on error.
    int SendSome(const void* bytes, int count);
    // Waits at most timeoutMs until more can be sent.
    bool WaitWritable(int timeoutMs);

    // Exactly count bytes, waiting at most timeoutMs for each arrival.
    bool ReceiveExactly(unsigned char* bytes, int count, int timeoutMs);
    // Reads whatever has arrived without waiting; the byte count, -1 when
    // the connection has ended.
    long Drain();
    // True when nothing arrives within timeoutMs (and the peer has not closed).
    bool Silent(int timeoutMs);
    // True when the peer closes within timeoutMs; what arrives before is read
    // and dropped, and counted into bytesRead when given.
    bool WaitForPeerClose(int timeoutMs, long* bytesRead = nullptr);

    // A position request (12 bytes) and its 8-byte reply.
    bool PositionRoundTrip(int timeoutMs);

    void ShutdownWrite();
    void Reset();  // abortive close: the peer sees a reset
    void Close();

private:
    int fd_ = -1;
};

// Open descriptors and threads of a process, from /proc; -1 when unreadable.
struct ProcessCounts {
    int fds = -1;
    int tasks = -1;
    bool operator==(const ProcessCounts& other) const {
        return fds == other.fds && tasks == other.tasks;
    }
};
ProcessCounts ReadProcessCounts(int pid);
