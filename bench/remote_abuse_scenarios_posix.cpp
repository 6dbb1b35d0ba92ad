// Abuse scenarios for the remote server, over loopback with raw sockets.
#include "bench/remote_abuse_scenarios_posix.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "bench/remote_abuse_client_posix.h"
#include "protocol/remote_protocol.h"
#include "remote/remote_server.h"
#include "tests/support/noise_chunk.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kClientLimit = kRemoteMaxClients;
const int kConnectMs = 10000;      // a connect that takes longer has failed
const int kReplyMs = 10000;        // so has a reply
const int kQueuedSilenceMs = 300;  // the queued client must stay unanswered this long
const int kStallMs = 500;          // no room to send for this long: the server stopped reading
const long kMaxPushBytes = 64L << 20;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Format(const char* format, double a = 0, double b = 0, double c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

AbuseOutcome Failed(long load, const std::string& why) {
    AbuseOutcome outcome;
    outcome.ok = false;
    outcome.load = load;
    outcome.detail = why;
    return outcome;
}

void WriteRequest(unsigned char* request, int32_t command) {
    std::fill(request, request + kRemoteFullRequestSize, 0);
    WriteRemoteInt(request, command);
}

using Clients = std::vector<std::unique_ptr<AbuseClient>>;

// Connects kClientLimit clients one at a time (the listen queue holds only a
// few handshakes), each served with a round trip; -1, or the index of the
// first client that was not served. firstServed, when given, gets the time
// the first round trip ended.
int ConnectServedClients(const AbuseTarget& target, Clients* clients,
                         Clock::time_point* firstServed = nullptr) {
    for (int i = 0; i < kClientLimit; ++i) {
        clients->push_back(std::make_unique<AbuseClient>());
        if (!clients->back()->Connect(target.host, target.port, kConnectMs) ||
            !clients->back()->PositionRoundTrip(kReplyMs)) {
            return i;
        }
        if (i == 0 && firstServed != nullptr) {
            *firstServed = Clock::now();
        }
    }
    return -1;
}

// A client that connects and sends a position request, then waits.
bool ConnectWaiting(const AbuseTarget& target, AbuseClient* waiting) {
    unsigned char request[kRemoteFullRequestSize];
    WriteRequest(request, REMOTE_POSITION);
    return waiting->Connect(target.host, target.port, kConnectMs) &&
           waiting->SendAll(request, sizeof request);
}

}  // namespace

bool ServerAnswers(const AbuseTarget& target) {
    AbuseClient client;
    return client.Connect(target.host, target.port, kConnectMs) &&
           client.PositionRoundTrip(kReplyMs);
}

AbuseOutcome RunManyClients(const AbuseTarget& target, int rounds) {
    double worstWaitMs = 0;
    for (int round = 0; round < rounds; ++round) {
        Clients clients;
        int unserved = ConnectServedClients(target, &clients);
        if (unserved >= 0) {
            return Failed(round * (kClientLimit + 1) + unserved,
                          Format("client %.0f was not served", unserved + 1));
        }
        for (int i = 0; i < kClientLimit; ++i) {
            if (!clients[i]->PositionRoundTrip(kReplyMs)) {
                return Failed(round * (kClientLimit + 1) + kClientLimit,
                              Format("client %.0f not served again with all connected", i + 1));
            }
        }
        AbuseClient waiting;
        if (!ConnectWaiting(target, &waiting)) {
            return Failed((round + 1) * (kClientLimit + 1), "the 65th client could not connect");
        }
        if (!waiting.Silent(kQueuedSilenceMs)) {
            return Failed((round + 1) * (kClientLimit + 1),
                          "the 65th client was answered while 64 were connected");
        }
        Clock::time_point left = Clock::now();
        clients[0]->Close();
        unsigned char reply[kRemotePositionSize];
        if (!waiting.ReceiveExactly(reply, sizeof reply, kReplyMs)) {
            return Failed((round + 1) * (kClientLimit + 1),
                          "the 65th client was not served after one left");
        }
        worstWaitMs = std::max(worstWaitMs, MsSince(left));
    }
    AbuseOutcome outcome;
    outcome.load = rounds * (kClientLimit + 1);
    outcome.detail =
        Format("64 served at once; the 65th waited, served %.1f ms after one left", worstWaitMs);
    if (rounds > 1) {
        outcome.detail += Format(" (worst of %.0f rounds)", rounds);
    }
    return outcome;
}

AbuseOutcome RunIdleClients(const AbuseTarget& target) {
    const double idleLimitS = std::chrono::duration<double>(kRemoteIdleLimit).count();
    Clients clients;
    Clock::time_point firstIdleSince;  // the oldest request ended then
    int unserved = ConnectServedClients(target, &clients, &firstIdleSince);
    if (unserved >= 0) {
        return Failed(unserved, Format("client %.0f was not served", unserved + 1));
    }
    AbuseClient waiting;
    if (!ConnectWaiting(target, &waiting)) {
        return Failed(kClientLimit + 1, "the 65th client could not connect");
    }
    Clock::time_point queued = Clock::now();
    unsigned char reply[kRemotePositionSize];
    // Served once the first client has been idle for the limit, give or take
    // the server's checks: a minute to spare.
    if (!waiting.ReceiveExactly(reply, sizeof reply, static_cast<int>(idleLimitS * 1000) + 60000)) {
        return Failed(kClientLimit + 1,
                      Format("the 65th client was not served within %.0f s", idleLimitS + 60));
    }
    double waitedS = MsSince(queued) / 1000;
    double idleS = MsSince(firstIdleSince) / 1000;
    // Client and server time that request a moment apart: a second of slack.
    if (idleS < idleLimitS - 1) {
        return Failed(
            kClientLimit + 1,
            Format("the 65th client was served when the first had been idle only %.1f s", idleS));
    }
    if (!clients[0]->WaitForPeerClose(kReplyMs)) {
        return Failed(kClientLimit + 1, "the first, longest idle client was not closed");
    }
    for (int i = 1; i < kClientLimit; ++i) {
        if (!clients[i]->PositionRoundTrip(kReplyMs)) {
            return Failed(kClientLimit + 1, Format("client %.0f was closed too", i + 1));
        }
    }
    AbuseOutcome outcome;
    outcome.load = kClientLimit + 1;
    outcome.detail = Format(
        "the 65th waited %.1f s; the first client, idle %.1f s, was closed; the other 63 stayed",
        waitedS, idleS);
    return outcome;
}

AbuseOutcome RunResetCycles(const AbuseTarget& target, int cycles) {
    AbuseClient control;
    if (!control.Connect(target.host, target.port, kConnectMs) ||
        !control.PositionRoundTrip(kReplyMs)) {
        return Failed(0, "the control client was not served");
    }
    unsigned char info[kRemoteFullRequestSize];
    WriteRequest(info, REMOTE_INFO);
    unsigned char position[kRemoteFullRequestSize];
    WriteRequest(position, REMOTE_POSITION);
    double slowestConnectMs = 0;
    int failures = 0;
    std::string firstFailure;
    auto fail = [&](int cycle, const char* what) {
        if (failures++ == 0) {
            firstFailure = Format("first failure at cycle %.0f: ", cycle) + what;
        }
    };
    Clock::time_point start = Clock::now();
    for (int i = 0; i < cycles; ++i) {
        AbuseClient client;
        Clock::time_point connectStart = Clock::now();
        if (!client.Connect(target.host, target.port, kConnectMs)) {
            fail(i, "connect");
            continue;
        }
        slowestConnectMs = std::max(slowestConnectMs, MsSince(connectStart));
        switch (i % 4) {
            case 0:  // served, then reset
                if (!client.PositionRoundTrip(kReplyMs)) {
                    fail(i, "round trip before the reset");
                }
                break;
            case 1:  // a request whose reply is never read
                if (!client.SendAll(info, sizeof info)) {
                    fail(i, "send before the reset");
                }
                break;
            case 2:  // nothing at all
                break;
            case 3:  // half a request
                if (!client.SendAll(position, 2)) {
                    fail(i, "send before the reset");
                }
                break;
        }
        client.Reset();
        if (i % 250 == 249 && !control.PositionRoundTrip(kReplyMs)) {
            fail(i, "the control client was not served");
        }
    }
    double seconds = MsSince(start) / 1000;
    if (!control.PositionRoundTrip(kReplyMs)) {
        fail(cycles, "the control client was not served at the end");
    }
    AbuseOutcome outcome;
    outcome.load = cycles;
    outcome.ok = failures == 0;
    outcome.detail =
        Format("%.0f cycles/s, slowest connect %.1f ms", cycles / seconds, slowestConnectMs);
    if (failures > 0) {
        outcome.detail += Format("; %.0f failed, ", failures) + firstFailure;
    }
    return outcome;
}

AbuseOutcome RunRandomBytes(const AbuseTarget& target, int connections, int chunks) {
    std::mt19937 random(target.seed);
    long replyBytes = 0;
    long sentBytes = 0;
    for (int c = 0; c < connections; ++c) {
        AbuseClient client;
        if (!client.Connect(target.host, target.port, kConnectMs)) {
            return Failed(c, Format("connection %.0f could not connect", c + 1));
        }
        for (int k = 0; k < chunks; ++k) {
            unsigned char bytes[200];
            int count = FillNoiseChunk(random, bytes, sizeof bytes);
            if (!client.SendAll(bytes, count)) {
                return Failed(c, Format("connection %.0f: the server stopped taking bytes", c + 1));
            }
            sentBytes += count;
            long got = client.Drain();
            if (got < 0) {
                return Failed(c, Format("connection %.0f was closed by the server", c + 1));
            }
            replyBytes += got;
        }
        client.ShutdownWrite();
        if (!client.WaitForPeerClose(kReplyMs, &replyBytes)) {
            return Failed(c, Format("connection %.0f: no close after ours", c + 1));
        }
    }
    AbuseOutcome outcome;
    outcome.load = connections;
    outcome.detail = Format("%.0f chunks, %.0f KB sent, %.0f KB of replies; every close answered",
                            double(connections) * chunks, sentBytes / 1024.0, replyBytes / 1024.0);
    return outcome;
}

AbuseOutcome RunSplitRequests(const AbuseTarget& target, int requests) {
    std::mt19937 random(target.seed + 1);
    unsigned char request[kRemoteFullRequestSize];
    WriteRequest(request, REMOTE_POSITION);
    double worstMs = 0;
    for (int i = 0; i < requests; ++i) {
        // A connection each: without framing, the tail of one split request
        // could merge with the next request on the same connection.
        AbuseClient client;
        if (!client.Connect(target.host, target.port, kConnectMs)) {
            return Failed(i, "could not connect");
        }
        int split = 1 + static_cast<int>(random() % (kRemoteFullRequestSize - 1));
        Clock::time_point start = Clock::now();
        if (!client.SendAll(request, split)) {
            return Failed(i, "send failed");
        }
        if (i % 2 == 0) {
            // Give the server time to take the first part on its own.
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        unsigned char reply[kRemotePositionSize];
        if (!client.SendAll(request + split, kRemoteFullRequestSize - split) ||
            !client.ReceiveExactly(reply, sizeof reply, kReplyMs)) {
            return Failed(
                i, Format("request %.0f (split after %.0f bytes) got no reply", i + 1, split));
        }
        worstMs = std::max(worstMs, MsSince(start));
        client.ShutdownWrite();
        long extra = 0;
        if (!client.WaitForPeerClose(kReplyMs, &extra)) {
            return Failed(i, "no close after ours");
        }
        if (extra != 0) {
            return Failed(i, Format("request %.0f (split after %.0f bytes) got more than one reply",
                                    i + 1, split));
        }
    }
    AbuseOutcome outcome;
    outcome.load = requests;
    outcome.detail = Format("one reply each, slowest %.2f ms", worstMs);
    return outcome;
}

AbuseOutcome RunNonReaders(const AbuseTarget& target, int readers, int roundTrips) {
    std::vector<std::unique_ptr<AbuseClient>> stuck;
    unsigned char request[kRemoteFullRequestSize];
    WriteRequest(request, REMOTE_INFO);
    long pushedTotal = 0;
    for (int r = 0; r < readers; ++r) {
        stuck.push_back(std::make_unique<AbuseClient>());
        AbuseClient& client = *stuck.back();
        // A small receive window so the replies back up soon.
        if (!client.Connect(target.host, target.port, kConnectMs, 4096)) {
            return Failed(r, "a non-reading client could not connect");
        }
        long pushed = 0;
        int offset = 0;  // into the request being sent
        Clock::time_point start = Clock::now();
        for (;;) {
            int remaining = kRemoteFullRequestSize - offset;
            int sent = client.SendSome(request + offset, remaining);
            if (sent < 0) {
                return Failed(r, "the server dropped a non-reading client");
            }
            pushed += sent;
            offset = (offset + sent) % kRemoteFullRequestSize;
            if (sent < remaining && !client.WaitWritable(kStallMs)) {
                break;  // no room for a while: the server has stopped reading
            }
            if (pushed > kMaxPushBytes || MsSince(start) > 30000) {
                return Failed(r, "the server kept reading a client that never reads");
            }
        }
        pushedTotal += pushed;
    }

    // Fresh clients while the stuck sessions wait in their sends.
    double worstMs = 0;
    for (int c = 0; c < 4; ++c) {
        AbuseClient other;
        if (!other.Connect(target.host, target.port, kConnectMs)) {
            return Failed(readers, "a fresh client could not connect beside the stuck ones");
        }
        for (int i = 0; i < roundTrips; ++i) {
            Clock::time_point start = Clock::now();
            if (!other.PositionRoundTrip(kReplyMs)) {
                return Failed(readers, "a fresh client was not served beside the stuck ones");
            }
            worstMs = std::max(worstMs, MsSince(start));
        }
    }
    stuck.clear();  // closing with unread replies resets the connections
    AbuseOutcome outcome;
    outcome.load = readers;
    outcome.detail =
        Format("%.0f stuck after %.0f KB of requests; 4 others served, slowest %.2f ms", readers,
               pushedTotal / 1024.0 / readers, worstMs);
    return outcome;
}
