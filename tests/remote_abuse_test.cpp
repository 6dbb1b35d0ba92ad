// The remote server under abuse over loopback: a full house, reset storms,
// random and split requests, clients that never read. The server must keep
// answering and give back every descriptor and thread afterwards.
#include <gtest/gtest.h>

#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "changer/status_poll.h"
#include "platform/window_hooks_posix.h"
#include "remote/remote_server.h"
#include "tests/support/loopback_socket_posix.h"
#include "tests/support/noise_chunk.h"
#include "tests/support/remote_server_watch.h"
#include "tests/support/remote_test_support.h"
#include "tests/support/reset_state.h"

namespace {

int CountEntries(const char* path) {
    DIR* dir = ::opendir(path);
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (dirent* entry = ::readdir(dir)) {
        count += entry->d_name[0] != '.';
    }
    ::closedir(dir);
    return count;
}

int OpenDescriptors() {
    return CountEntries("/proc/self/fd");
}

// A joined thread's task entry may linger a moment after the join; waits
// for the count to come down, at most limit.
bool WaitForThreadCount(int count, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (CountEntries("/proc/self/task") != count) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The platform's sockets, noting each reply send that has to wait because
// the client's side is full.
class SendWatchSocketApi : public RemoteSocketApi {
public:
    int BlockedSends() {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocked_;
    }
    // Waits, at most limit, until at least count sends are blocked.
    bool WaitForBlockedSends(int count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return blocked_ >= count; });
    }

    RemoteSocket Create(int* error) override { return real_.Create(error); }
    int Bind(RemoteSocket socket, uint16_t port) override { return real_.Bind(socket, port); }
    int Listen(RemoteSocket socket, int backlog) override { return real_.Listen(socket, backlog); }
    uint16_t LocalPort(RemoteSocket socket) override { return real_.LocalPort(socket); }
    // Accepted sockets get a small send buffer, so that a client that never
    // reads blocks its session after a few replies rather than megabytes.
    RemoteSocket Accept(RemoteSocket listening, int* error) override {
        RemoteSocket socket = real_.Accept(listening, error);
        if (socket != kNoRemoteSocket) {
            int size = 4096;
            ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        }
        return socket;
    }
    int Receive(RemoteSocket socket, unsigned char* buffer, int capacity, int* error) override {
        return real_.Receive(socket, buffer, capacity, error);
    }
    bool WaitReadable(RemoteSocket socket, int timeoutMs) override {
        return real_.WaitReadable(socket, timeoutMs);
    }
    void Interrupt(RemoteSocket socket) override { real_.Interrupt(socket); }
    void Close(RemoteSocket socket) override { real_.Close(socket); }

    int Send(RemoteSocket socket, const unsigned char* bytes, int count) override {
        ssize_t sent = ::send(static_cast<int>(socket), bytes, static_cast<size_t>(count),
                              MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent == count || (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            return sent < 0 ? -1 : count;
        }
        int done = sent > 0 ? static_cast<int>(sent) : 0;
        Note(+1);
        int rest = real_.Send(socket, bytes + done, count - done);  // waits
        Note(-1);
        return rest < 0 ? (done > 0 ? done : -1) : done + rest;
    }

private:
    void Note(int change) {
        std::lock_guard<std::mutex> lock(mutex_);
        blocked_ += change;
        changed_.notify_all();
    }

    RemoteSocketApi& real_ = PlatformSocketApi();
    std::mutex mutex_;
    std::condition_variable changed_;
    int blocked_ = 0;
};

// A client that only sends: small receive window, sends without waiting.
class NonReadingClient {
public:
    explicit NonReadingClient(uint16_t port) : fd_(ConnectLoopback(port, 4096)) {}
    ~NonReadingClient() {
        CloseSocket(&fd_);  // with replies unread: the server sees a reset
    }
    bool Connected() const { return fd_ >= 0; }

    // Sends up to 64 info requests; when the socket is full, waits up to
    // limitMs for room. False when the connection failed.
    bool Push(int limitMs) {
        unsigned char request[kRemoteFullRequestSize] = {};
        WriteRemoteInt(request, REMOTE_INFO);
        for (int i = 0; i < 64 * kRemoteFullRequestSize;) {
            ssize_t sent = ::send(fd_, request + offset_, sizeof request - offset_,
                                  MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                return false;
            }
            if (sent <= 0) {
                pollfd room = {fd_, POLLOUT, 0};
                ::poll(&room, 1, limitMs);
                return true;
            }
            offset_ = (offset_ + static_cast<int>(sent)) % kRemoteFullRequestSize;
            i += static_cast<int>(sent);
        }
        return true;
    }

private:
    int fd_ = -1;
    int offset_ = 0;
};

class RemoteAbuse : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        ClearPlatformRecord();
        g_nDisc = 17;
        g_nTrack = 3;
        // A sanitizer runtime may start a helper thread with the first
        // thread of the process; let that happen before counting.
        std::thread([] {}).join();
        descriptorsBefore_ = OpenDescriptors();
        threadsBefore_ = CountEntries("/proc/self/task");
        RemoteServerOptions options;
        options.observer = &watch_;
        server_ = std::make_unique<RemoteServer>(sockets_, 0, options);
        server_->StartRemoteThread(kNoRemoteSocket);
        port_ = server_->WaitUntilListening();
        ASSERT_NE(port_, 0);
        // A first client, so whatever the first session sets up is counted.
        {
            TestRemoteClient first(port_);
            ASSERT_TRUE(ServedAfresh());
        }
        ASSERT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
        idleDescriptors_ = OpenDescriptors();
    }

    void TearDown() override {
        server_->Stop();
        EXPECT_EQ(OpenDescriptors(), descriptorsBefore_);
        EXPECT_TRUE(WaitForThreadCount(threadsBefore_, kRemoteTestLimit))
            << CountEntries("/proc/self/task") << " threads, " << threadsBefore_ << " before";
        EXPECT_TRUE(RecordedErrorBoxes().empty());
        ResetChangerState();
        ClearPlatformRecord();
    }

    // A fresh client gets a position reply.
    bool ServedAfresh() {
        TestRemoteClient client(port_);
        int32_t disc = 0, track = 0;
        return client.QueryPosition(&disc, &track) && disc == 17 && track == 3;
    }

    // Every session has ended, its socket is closed and its thread joined
    // (all but the last to end, whose join is due when the next one ends).
    // The caller makes sure no connection still waits to be accepted.
    void ExpectIdle() {
        ASSERT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
        EXPECT_EQ(OpenDescriptors(), idleDescriptors_);
        EXPECT_TRUE(watch_.WaitForThreadRecords(2, kRemoteTestLimit));
    }

    SendWatchSocketApi sockets_;
    RemoteServerWatch watch_;
    std::unique_ptr<RemoteServer> server_;
    uint16_t port_ = 0;
    int descriptorsBefore_ = 0;
    int threadsBefore_ = 0;
    int idleDescriptors_ = 0;
};

TEST_F(RemoteAbuse, FullHouseThenTheWaitingClientIsServedWhenOneLeaves) {
    std::vector<std::unique_ptr<TestRemoteClient>> clients;
    for (int i = 0; i < kRemoteMaxClients; ++i) {
        clients.push_back(std::make_unique<TestRemoteClient>(port_));
        int32_t disc, track;
        ASSERT_TRUE(clients.back()->QueryPosition(&disc, &track)) << i;
    }
    ASSERT_TRUE(watch_.WaitUntilAcceptorBlocked(kRemoteMaxClients, kRemoteTestLimit));
    TestRemoteClient waiting(port_);
    ASSERT_TRUE(waiting.Connected());  // queued by the system, not accepted
    ASSERT_TRUE(waiting.SendRequest(REMOTE_POSITION));
    EXPECT_EQ(watch_.State().sessions, kRemoteMaxClients);

    clients.front()->Close();
    unsigned char reply[kRemotePositionSize];
    ASSERT_TRUE(waiting.ReceiveExactly(reply, sizeof reply));
    EXPECT_EQ(ReadRemoteInt(reply), 17);
    for (size_t i = 1; i < clients.size(); ++i) {
        int32_t disc, track;
        ASSERT_TRUE(clients[i]->QueryPosition(&disc, &track)) << i;
    }
    clients.clear();
    waiting.Close();
    ExpectIdle();
}

TEST_F(RemoteAbuse, ResetStormLeavesNothingBehind) {
    TestRemoteClient control(port_);
    int32_t disc, track;
    for (int i = 0; i < 1000; ++i) {
        TestRemoteClient client(port_);
        ASSERT_TRUE(client.Connected()) << i;
        switch (i % 4) {
            case 0:  // served, then reset
                ASSERT_TRUE(client.QueryPosition(&disc, &track)) << i;
                break;
            case 1:  // a reply that is never read
                ASSERT_TRUE(client.SendRequest(REMOTE_INFO)) << i;
                break;
            case 2:  // nothing at all
                break;
            case 3:  // half a request
                ASSERT_TRUE(client.SendRequest(REMOTE_POSITION, 0, 0, 2)) << i;
                break;
        }
        client.Reset();
        if (i % 100 == 99) {
            ASSERT_TRUE(control.QueryPosition(&disc, &track)) << i;
        }
    }
    // Connections are accepted in order: once a fresh client is served, none
    // of the reset ones waits in the listen queue any more.
    EXPECT_TRUE(ServedAfresh());
    control.Close();
    ExpectIdle();
}

TEST_F(RemoteAbuse, SplitRequestsGetOneReplyEach) {
    // Each on a fresh connection: without framing, the tail of a split
    // request could merge with a following request.
    for (int split = 1; split < kRemoteFullRequestSize; ++split) {
        for (bool pause : {false, true}) {
            TestRemoteClient client(port_);
            unsigned char request[kRemoteFullRequestSize] = {};
            WriteRemoteInt(request, REMOTE_POSITION);
            unsigned char reply[kRemotePositionSize];
            ASSERT_TRUE(client.SendBytes(request, split));
            if (pause) {
                // The first part alone is already a position request.
                ASSERT_TRUE(client.ReceiveExactly(reply, sizeof reply)) << split;
            }
            ASSERT_TRUE(client.SendBytes(request + split, kRemoteFullRequestSize - split));
            if (!pause) {
                ASSERT_TRUE(client.ReceiveExactly(reply, sizeof reply)) << split;
            }
            EXPECT_EQ(ReadRemoteInt(reply + 4), 3);
            client.ShutdownWrite();
            EXPECT_TRUE(client.WaitForServerClose()) << "more than one reply, split " << split;
        }
    }
    ExpectIdle();
}

TEST_F(RemoteAbuse, RandomBytesOnManyConnectionsAtOnce) {
    // Connected one at a time: a burst would overrun the listen queue.
    std::vector<std::unique_ptr<TestRemoteClient>> clients;
    for (int c = 0; c < 8; ++c) {
        clients.push_back(std::make_unique<TestRemoteClient>(port_));
        ASSERT_TRUE(watch_.WaitForSessions(c + 1, kRemoteTestLimit));
    }
    std::vector<std::thread> threads;
    std::vector<int> sentAll(8, 0);
    for (int c = 0; c < 8; ++c) {
        threads.emplace_back([&, c] {
            std::mt19937 random(4239 + c);
            TestRemoteClient& client = *clients[c];
            for (int i = 0; i < 100 && client.Connected(); ++i) {
                unsigned char bytes[200];
                int count = FillNoiseChunk(random, bytes, sizeof bytes);
                if (!client.SendBytes(bytes, count)) {
                    return;
                }
            }
            sentAll[c] = 1;
            // Read whatever the noise produced until the server closes.
            client.ShutdownWrite();
            unsigned char byte;
            while (client.ReceiveExactly(&byte, 1)) {
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(sentAll, std::vector<int>(8, 1));
    clients.clear();
    ExpectIdle();
    EXPECT_TRUE(ServedAfresh());
}

TEST_F(RemoteAbuse, ClientsThatNeverReadHoldOnlyTheirOwnSessions) {
    std::vector<std::unique_ptr<NonReadingClient>> stuck;
    for (int i = 0; i < 2; ++i) {
        stuck.push_back(std::make_unique<NonReadingClient>(port_));
        ASSERT_TRUE(stuck.back()->Connected());
    }
    // Keep sending on both until both sessions wait in a reply send. Under
    // load the receiving side may compact its queue and let a waiting send
    // finish; that session then takes the next request and waits again.
    auto deadline = std::chrono::steady_clock::now() + kRemoteTestLimit;
    while (!sockets_.WaitForBlockedSends(2, std::chrono::milliseconds(0))) {
        for (auto& client : stuck) {
            ASSERT_TRUE(client->Push(10));
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the server never blocked";
    }
    // Everyone else is served meanwhile.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(ServedAfresh()) << i;
    }
    EXPECT_TRUE(watch_.WaitForSessions(2, kRemoteTestLimit));

    stuck.clear();  // closing with replies unread resets the connections
    ExpectIdle();
    EXPECT_EQ(sockets_.BlockedSends(), 0);
}

}  // namespace
