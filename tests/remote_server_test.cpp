// The remote server over loopback: requests on a connection, connection
// ends, socket errors, many clients and the client limit.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "remote/remote_server.h"
#include "tests/support/fresh_changer_test.h"
#include "tests/support/remote_server_watch.h"
#include "tests/support/remote_test_support.h"
#include "tests/support/reset_state.h"

namespace {

using Commands = std::vector<std::string>;

class RemoteServerTest : public FreshChangerTest {
protected:
    SerialLine& CaseLine() override { return line_; }
    void TearDown() override {
        if (server_) {
            server_->Stop();
        }
        FreshChangerTest::TearDown();
    }

    uint16_t StartServer(int maxClients = kRemoteMaxClients) {
        RemoteServerOptions options;
        options.maxClients = maxClients;
        options.observer = &watch_;
        // Idle times run on a clock the tests move; a full server looks for
        // waiting clients every few milliseconds.
        options.clock = clock_.Clock();
        options.fullCheckPeriod = std::chrono::milliseconds(2);
        server_ = std::make_unique<RemoteServer>(sockets_, 0, options);
        server_->StartRemoteThread(kNoRemoteSocket);
        return server_->WaitUntilListening();
    }

    // Connects count clients one at a time: a burst would overrun the listen
    // queue of 5 and leave the system retrying handshakes for seconds.
    using Clients = std::vector<std::unique_ptr<TestRemoteClient>>;
    // A server with count client slots, every one taken by a connected client.
    Clients StartFullServer(int count, uint16_t* port) {
        *port = StartServer(count);
        Clients clients;
        ConnectClients(*port, count, &clients);
        return clients;
    }

    void ConnectClients(uint16_t port, int count,
                        std::vector<std::unique_ptr<TestRemoteClient>>* clients) {
        for (int i = 0; i < count; ++i) {
            clients->push_back(std::make_unique<TestRemoteClient>(port));
            ASSERT_TRUE(clients->back()->Connected());
            ASSERT_TRUE(
                watch_.WaitForSessions(static_cast<int>(clients->size()), kRemoteTestLimit));
        }
    }

    // A position round trip at the given clock time, counted by the server
    // before the clock moves on.
    void RequestAt(std::chrono::milliseconds at, TestRemoteClient& client) {
        clock_.Set(at);
        long before = watch_.State().requests;
        int32_t disc, track;
        ASSERT_TRUE(client.QueryPosition(&disc, &track));
        ASSERT_TRUE(watch_.WaitForRequests(before + 1, kRemoteTestLimit));
    }

    // Lets a full server look for waiting clients a few more times.
    void LetTheServerLook() {
        ASSERT_TRUE(watch_.WaitForFullChecks(watch_.State().fullChecks + 3, kRemoteTestLimit));
    }

    FaultySocketApi sockets_;
    WatchedLine line_;
    RemoteServerWatch watch_;
    FakeRemoteClock clock_;
    std::unique_ptr<RemoteServer> server_;
};

TEST_F(RemoteServerTest, ShortRequestReusesArgumentsOfTheLastOne) {
    FillSlot(3, 1, 12);
    uint16_t port = StartServer();
    ASSERT_NE(port, 0);
    TestRemoteClient client(port);
    ASSERT_TRUE(client.Connected());

    ASSERT_TRUE(client.SendRequest(REMOTE_PLAY_TRACK, 3, 5));
    ASSERT_TRUE(line_.WaitForFrames(4));
    ASSERT_TRUE(client.SendRequest(REMOTE_PLAY_TRACK, 0, 0, 4));
    ASSERT_TRUE(line_.WaitForFrames(8));
    EXPECT_EQ(SentCommands(line_.Written()),
              (Commands{"01A03", "04A05", "10", "07", "01A03", "04A05", "10", "07"}));
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

TEST_F(RemoteServerTest, PlayDiscOutOfRangeOverTheWire) {
    FillSlot(1, 1, 5);
    TestRemoteClient client(StartServer());
    ASSERT_TRUE(client.Connected());
    long handled = 0;
    for (int32_t bad : {0, 101}) {
        g_nMode = ModeStop;
        ASSERT_TRUE(client.SendRequest(REMOTE_PLAY_DISC, bad));
        ASSERT_TRUE(watch_.WaitForRequests(++handled, kRemoteTestLimit));
        EXPECT_EQ(g_nMode.load(), ModeStop);  // nothing began
    }
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteServerTest, PositionInfoStatusAndMagazineReplies) {
    ScratchWorkingDir dir;
    TestRemoteClient client(StartServer());
    ASSERT_TRUE(client.Connected());
    int32_t disc = -1, track = -1;
    ASSERT_TRUE(client.QueryPosition(&disc, &track));
    EXPECT_EQ(disc, 0);
    EXPECT_EQ(track, 0);

    g_nDisc = 42;
    g_nTrack = 9;
    ASSERT_TRUE(client.SendRequest(REMOTE_INFO));
    unsigned char info[kRemoteInfoSize];
    ASSERT_TRUE(client.ReceiveExactly(info, sizeof info));
    EXPECT_EQ(ReadRemoteInt(info), 42);
    EXPECT_EQ(ReadRemoteInt(info + 4), 9);
    EXPECT_STREQ(reinterpret_cast<char*>(info + 8), "couldn't open zub.txt");
    EXPECT_STREQ(reinterpret_cast<char*>(info + 58), "");

    // The status and the whole magazine, each followed by nothing more: a
    // position round trip reads its own 8 bytes next.
    FillSlot(100, 1, 2);
    ASSERT_TRUE(client.SendRequest(REMOTE_STATUS));
    std::vector<unsigned char> status(kRemoteStatusSize);
    ASSERT_TRUE(client.ReceiveExactly(status.data(), kRemoteStatusSize));
    EXPECT_EQ(ReadRemoteInt(status.data() + kRemoteStatusDiscOffset), 42);
    ASSERT_TRUE(client.SendRequest(REMOTE_MAGAZINE));
    std::vector<unsigned char> magazine(kRemoteMagazineSize);
    ASSERT_TRUE(client.ReceiveExactly(magazine.data(), kRemoteMagazineSize));
    EXPECT_EQ(ReadRemoteInt(magazine.data() + 99 * kRemoteSlotSize), 1);
    ASSERT_TRUE(client.QueryPosition(&disc, &track));
    EXPECT_EQ(disc, 42);
}

TEST_F(RemoteServerTest, UpperBytesMakeACommandUnknown) {
    FillSlot(3, 1, 12);
    TestRemoteClient client(StartServer());
    ASSERT_TRUE(client.Connected());
    // Each request waits for the one before, so no two arrive in one receive.
    ASSERT_TRUE(client.SendRequest(0x00010032, 3, 5));
    ASSERT_TRUE(watch_.WaitForRequests(1, kRemoteTestLimit));
    ASSERT_TRUE(client.SendRequest(0x00000134, 0, 0, 4));
    ASSERT_TRUE(watch_.WaitForRequests(2, kRemoteTestLimit));
    int32_t disc, track;
    ASSERT_TRUE(client.QueryPosition(&disc, &track));  // the only reply that comes
    unsigned char extra;
    EXPECT_FALSE(client.ReceiveExactly(&extra, 1, std::chrono::milliseconds(0)));
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteServerTest, CloseEndsTheSessionAndTheServerClosesItsSocket) {
    TestRemoteClient client(StartServer());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(watch_.WaitForSessions(1, kRemoteTestLimit));
    int closesBefore = sockets_.Closes();
    client.ShutdownWrite();
    ASSERT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
    EXPECT_TRUE(client.WaitForServerClose());
    EXPECT_EQ(sockets_.Closes(), closesBefore + 1);
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

TEST_F(RemoteServerTest, ResetEndsTheSessionWithoutABox) {
    uint16_t port = StartServer();
    TestRemoteClient client(port);
    ASSERT_TRUE(client.Connected());
    int32_t disc, track;
    ASSERT_TRUE(client.QueryPosition(&disc, &track));
    client.Reset();
    ASSERT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
    EXPECT_TRUE(RecordedErrorBoxes().empty());

    // The server goes on accepting.
    TestRemoteClient next(port);
    ASSERT_TRUE(next.QueryPosition(&disc, &track));
}

TEST_F(RemoteServerTest, OtherReceiveErrorShowsABoxAndEndsTheSession) {
    uint16_t port = StartServer();
    sockets_.FailNextReceive(ETIMEDOUT);
    TestRemoteClient client(port);
    ASSERT_TRUE(client.Connected());
    EXPECT_TRUE(client.WaitForServerClose());
    ASSERT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
    auto boxes = RecordedErrorBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error " + std::to_string(ETIMEDOUT));
    EXPECT_EQ(boxes[0].caption, "Error with recv()");
}

TEST_F(RemoteServerTest, ReceivedResetCodeEndsSilently) {
    uint16_t port = StartServer();
    sockets_.FailNextReceive(ECONNRESET);
    TestRemoteClient client(port);
    EXPECT_TRUE(client.WaitForServerClose());
    ASSERT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

TEST_F(RemoteServerTest, AbortedPendingConnectionIsSkipped) {
    sockets_.FailAccepts({ECONNABORTED, EPROTO, ECONNRESET});
    uint16_t port = StartServer();
    TestRemoteClient client(port);
    int32_t disc, track;
    ASSERT_TRUE(client.QueryPosition(&disc, &track));
    EXPECT_GE(sockets_.AcceptCalls(), 4);
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

TEST_F(RemoteServerTest, OtherAcceptErrorEndsAccepting) {
    sockets_.FailAccepts({EBADF});
    ASSERT_NE(StartServer(), 0);
    ASSERT_TRUE(watch_.WaitUntilNoAcceptor(kRemoteTestLimit));
    auto boxes = RecordedErrorBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error " + std::to_string(EBADF));
    EXPECT_EQ(boxes[0].caption, "Error with accept()");
    EXPECT_EQ(sockets_.AcceptCalls(), 1);
}

TEST_F(RemoteServerTest, BindFailureShowsABox) {
    int token;
    g_hWnd = &token;
    uint16_t taken = StartServer();
    ASSERT_NE(taken, 0);
    RemoteServerWatch secondWatch;
    RemoteServerOptions options;
    options.observer = &secondWatch;
    RemoteServer second(sockets_, taken, options);
    second.StartRemoteThread(kNoRemoteSocket);
    EXPECT_EQ(second.WaitUntilListening(), 0);
    ASSERT_TRUE(secondWatch.WaitUntilNoAcceptor(kRemoteTestLimit));
    auto boxes = RecordedErrorBoxes();
    g_hWnd = nullptr;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, &token);
    // A port other than the default is named.
    EXPECT_EQ(boxes[0].text,
              "Error " + std::to_string(EADDRINUSE) + " (TCP port " + std::to_string(taken) + ")");
    EXPECT_EQ(boxes[0].caption, "Error with bind()");
}

TEST_F(RemoteServerTest, ManyClientsAtOnce) {
    g_nDisc = 17;
    g_nTrack = 3;
    uint16_t port = 0;
    Clients clients = StartFullServer(kRemoteMaxClients, &port);
    // Every client is served while all of them are connected.
    std::vector<std::thread> threads;
    std::vector<int> served(clients.size(), 0);
    for (size_t i = 0; i < clients.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 20; ++round) {
                int32_t disc = 0, track = 0;
                if (!clients[i]->QueryPosition(&disc, &track) || disc != 17 || track != 3) {
                    return;
                }
            }
            served[i] = 1;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t i = 0; i < served.size(); ++i) {
        EXPECT_EQ(served[i], 1) << i;
    }
    EXPECT_EQ(watch_.State().sessions, kRemoteMaxClients);
    clients.clear();
    EXPECT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
}

TEST_F(RemoteServerTest, ClientsBeyondTheLimitWaitUntilOneLeaves) {
    uint16_t port = StartServer(2);
    TestRemoteClient first(port), second(port);
    int32_t disc, track;
    ASSERT_TRUE(first.QueryPosition(&disc, &track));
    ASSERT_TRUE(second.QueryPosition(&disc, &track));
    ASSERT_TRUE(watch_.WaitUntilAcceptorBlocked(2, kRemoteTestLimit));
    EXPECT_EQ(sockets_.AcceptCalls(), 2);  // no third accept while full

    TestRemoteClient third(port);  // queued by the system, not accepted
    ASSERT_TRUE(third.Connected());
    ASSERT_TRUE(third.SendRequest(REMOTE_POSITION));
    EXPECT_EQ(watch_.State().sessions, 2);

    first.Close();
    unsigned char reply[kRemotePositionSize];
    ASSERT_TRUE(third.ReceiveExactly(reply, sizeof reply));
    EXPECT_EQ(watch_.State().sessions, 2);
}

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST_F(RemoteServerTest, LongestIdleSessionMakesRoomForAWaitingClient) {
    uint16_t port = 0;
    Clients clients = StartFullServer(kRemoteMaxClients, &port);  // all at 0 s
    for (size_t i = 1; i < clients.size(); ++i) {
        RequestAt(seconds(10), *clients[i]);
    }
    // Every session is past the limit; the first has been idle longest.
    clock_.Set(seconds(45));
    TestRemoteClient waiting(port);
    int32_t disc, track;
    ASSERT_TRUE(waiting.QueryPosition(&disc, &track));
    EXPECT_TRUE(clients[0]->WaitForServerClose());

    // One waiting client makes room for one: nobody else is closed.
    LetTheServerLook();
    EXPECT_EQ(watch_.State().closedForRoom, 1);
    EXPECT_EQ(watch_.State().sessions, kRemoteMaxClients);
    for (size_t i = 1; i < clients.size(); ++i) {
        ASSERT_TRUE(clients[i]->QueryPosition(&disc, &track)) << i;
    }
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

TEST_F(RemoteServerTest, SessionWithARecentRequestIsNotClosed) {
    uint16_t port = 0;
    Clients clients = StartFullServer(3, &port);
    RequestAt(seconds(0), *clients[0]);
    RequestAt(seconds(5), *clients[1]);
    RequestAt(seconds(10), *clients[2]);

    clock_.Set(milliseconds(29999));  // the oldest request is just short of the limit
    TestRemoteClient waiting(port);
    ASSERT_TRUE(waiting.SendRequest(REMOTE_POSITION));
    LetTheServerLook();
    EXPECT_EQ(watch_.State().closedForRoom, 0);
    unsigned char reply[kRemotePositionSize];
    EXPECT_FALSE(waiting.ReceiveExactly(reply, sizeof reply, milliseconds(0)));

    clock_.Set(seconds(30));  // now it has reached it
    ASSERT_TRUE(waiting.ReceiveExactly(reply, sizeof reply));
    EXPECT_TRUE(clients[0]->WaitForServerClose());
    int32_t disc, track;
    ASSERT_TRUE(clients[1]->QueryPosition(&disc, &track));
    ASSERT_TRUE(clients[2]->QueryPosition(&disc, &track));
    EXPECT_EQ(watch_.State().closedForRoom, 1);
}

TEST_F(RemoteServerTest, SessionThatDoesNotEndHoldsUpTheNextCloseForOneIdleLimit) {
    uint16_t port = 0;
    Clients clients = StartFullServer(2, &port);
    RequestAt(seconds(0), *clients[0]);
    RequestAt(seconds(10), *clients[1]);
    sockets_.IgnoreInterrupts(true);

    clock_.Set(seconds(40));
    TestRemoteClient waiting(port);
    ASSERT_TRUE(waiting.SendRequest(REMOTE_POSITION));
    ASSERT_TRUE(watch_.WaitFor([](const RemoteServerState& s) { return s.closedForRoom == 1; },
                               kRemoteTestLimit));
    clock_.Set(milliseconds(69999));  // the first is still taken to be ending
    LetTheServerLook();
    EXPECT_EQ(watch_.State().closedForRoom, 1);

    sockets_.IgnoreInterrupts(false);
    clock_.Set(seconds(70));  // it has hung for an idle limit: the next goes
    unsigned char reply[kRemotePositionSize];
    ASSERT_TRUE(waiting.ReceiveExactly(reply, sizeof reply));
    EXPECT_TRUE(clients[1]->WaitForServerClose());
    EXPECT_EQ(watch_.State().closedForRoom, 2);
}

// A session blocked in a play request (the line is busy, as during a scan)
// holds its slot no longer than the request: closed for room, or with its
// client gone, it ends as soon as the request does.
TEST_F(RemoteServerTest, SessionBlockedInARequestEndsWithIt) {
    FillSlot(3, 1, 12);
    uint16_t port = 0;
    Clients clients = StartFullServer(2, &port);
    auto inRequests = [](int count) {
        return [count](const RemoteServerState& s) { return s.inRequests == count; };
    };
    {
        std::unique_lock<std::recursive_mutex> line(g_hComMutex);
        ASSERT_TRUE(clients[0]->SendRequest(REMOTE_PLAY_TRACK, 3, 5));
        ASSERT_TRUE(watch_.WaitFor(inRequests(1), kRemoteTestLimit));
        RequestAt(seconds(40), *clients[1]);

        clock_.Set(seconds(45));  // the blocked request came 45 s ago
        TestRemoteClient waiting(port);
        ASSERT_TRUE(waiting.SendRequest(REMOTE_POSITION));
        ASSERT_TRUE(watch_.WaitFor([](const RemoteServerState& s) { return s.closedForRoom == 1; },
                                   kRemoteTestLimit));
        line.unlock();
        unsigned char reply[kRemotePositionSize];
        ASSERT_TRUE(waiting.ReceiveExactly(reply, sizeof reply));
        EXPECT_TRUE(clients[0]->WaitForServerClose());
        EXPECT_EQ(SentCommands(line_.Written()).at(0), "01A03");  // the request still ran
        int32_t disc, track;
        EXPECT_TRUE(clients[1]->QueryPosition(&disc, &track));  // the recent one stays
    }

    // A client that leaves while its request waits: the session ends with it.
    std::unique_lock<std::recursive_mutex> line(g_hComMutex);
    ASSERT_TRUE(clients[1]->SendRequest(REMOTE_PLAY_TRACK, 3, 6));
    ASSERT_TRUE(watch_.WaitFor(inRequests(1), kRemoteTestLimit));
    clients[1]->Close();
    line.unlock();
    ASSERT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

TEST_F(RemoteServerTest, IdleSessionsStayWhileNobodyWaits) {
    uint16_t port = 0;
    Clients clients = StartFullServer(3, &port);
    ASSERT_TRUE(watch_.WaitUntilAcceptorBlocked(3, kRemoteTestLimit));
    clock_.Set(std::chrono::hours(1));
    LetTheServerLook();
    EXPECT_EQ(watch_.State().closedForRoom, 0);
    for (auto& client : clients) {
        int32_t disc, track;
        ASSERT_TRUE(client->QueryPosition(&disc, &track));
    }
    EXPECT_EQ(watch_.State().sessions, 3);
}

TEST_F(RemoteServerTest, RandomBytesGetDefinedResults) {
    for (int slot = 1; slot <= 100; ++slot) {
        FillSlot(slot, 1, 99);
    }
    g_nDisc = 5;
    uint16_t port = StartServer();
    TestRemoteClient client(port);
    ASSERT_TRUE(client.Connected());
    std::mt19937 random(4239);
    for (int i = 0; i < 300; ++i) {
        unsigned char bytes[200];
        int count = 1 + static_cast<int>(random() % sizeof bytes);
        for (int j = 0; j < count; ++j) {
            bytes[j] = static_cast<unsigned char>(random());
        }
        if (i % 2 == 0 && count >= 4) {
            // A known command with random arguments and tail.
            WriteRemoteInt(bytes, REMOTE_NEXT + static_cast<int32_t>(random() % 10));
        }
        ASSERT_TRUE(client.SendBytes(bytes, count));
    }
    // Whatever replies the noise produced, the session ends cleanly.
    client.ShutdownWrite();
    unsigned char byte;
    while (client.ReceiveExactly(&byte, 1)) {
    }
    EXPECT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
    EXPECT_TRUE(RecordedErrorBoxes().empty());

    TestRemoteClient next(port);
    int32_t disc, track;
    ASSERT_TRUE(next.QueryPosition(&disc, &track));
    EXPECT_EQ(disc, 5);
}

TEST_F(RemoteServerTest, StopEndsConnectedSessions) {
    uint16_t port = StartServer();
    TestRemoteClient client(port);
    int32_t disc, track;
    ASSERT_TRUE(client.QueryPosition(&disc, &track));
    server_->Stop();
    EXPECT_EQ(watch_.State().sessions, 0);
    EXPECT_TRUE(client.WaitForServerClose());
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

TEST_F(RemoteServerTest, BeginStopEndsAcceptingAndSessionsQuietly) {
    uint16_t port = StartServer();
    TestRemoteClient client(port);
    int32_t disc, track;
    ASSERT_TRUE(client.QueryPosition(&disc, &track));
    server_->BeginStop();  // the waiting accept fails now, without a box
    ASSERT_TRUE(watch_.WaitUntilNoAcceptor(kRemoteTestLimit));
    ASSERT_TRUE(watch_.WaitForSessions(0, kRemoteTestLimit));
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

}  // namespace
