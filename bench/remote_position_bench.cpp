// Remote server benchmark: REMOTE_POSITION round trips per second and their
// p50/p99 latency for 1, 16 and 64 clients at once, over loopback.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "changer/status_poll.h"
#include "remote/remote_client_socket.h"
#include "remote/remote_protocol.h"
#include "remote/remote_server.h"

namespace {

using Clock = std::chrono::steady_clock;

struct LevelResult {
    int clients;
    long roundTrips;
    double seconds;
    double p50Us;
    double p99Us;
    bool failed;
};

double Percentile(std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) {
        return 0;
    }
    size_t at = static_cast<size_t>(fraction * (sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

LevelResult RunLevel(RemoteServer& server, uint16_t port, int clientCount, double seconds) {
    LevelResult result = {clientCount, 0, 0, 0, 0, false};
    std::vector<std::unique_ptr<SocketRemoteConnection>> connections;
    for (int i = 0; i < clientCount; ++i) {
        auto connection = std::make_unique<SocketRemoteConnection>();
        std::string error;
        if (!connection->Open("127.0.0.1", port, 5000, &error)) {
            std::fprintf(stderr, "connect: %s\n", error.c_str());
            result.failed = true;
            return result;
        }
        connections.push_back(std::move(connection));
        // One at a time, so no handshake waits in an overrun listen queue.
        server.WaitForSessions(i + 1, std::chrono::seconds(10));
    }

    std::atomic<bool> go{false};
    std::atomic<bool> failed{false};
    std::vector<std::vector<double>> latencies(clientCount);
    std::vector<std::thread> threads;
    Clock::time_point end;
    for (int i = 0; i < clientCount; ++i) {
        threads.emplace_back([&, i] {
            unsigned char request[kRemoteFullRequestSize] = {};
            WriteRemoteInt(request, REMOTE_POSITION);
            unsigned char reply[kRemotePositionSize];
            std::vector<double>& mine = latencies[i];
            mine.reserve(200000);
            while (!go.load()) {
                std::this_thread::yield();
            }
            while (Clock::now() < end) {
                Clock::time_point start = Clock::now();
                if (!connections[i]->SendAll(request, sizeof request) ||
                    !connections[i]->ReceiveExactly(reply, sizeof reply, 5000)) {
                    failed = true;
                    return;
                }
                mine.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            }
        });
    }
    Clock::time_point start = Clock::now();
    end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<double> all;
    for (const auto& mine : latencies) {
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    result.roundTrips = static_cast<long>(all.size());
    result.p50Us = Percentile(all, 0.50);
    result.p99Us = Percentile(all, 0.99);
    result.failed = failed.load();

    connections.clear();
    server.WaitForSessions(0, std::chrono::seconds(10));
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: remote-position-bench [SECONDS per level]\n");
        return 2;
    }
    StartClientSockets();  // also starts Winsock for the server
    g_nDisc = 42;
    g_nTrack = 7;

    RemoteServer server(PlatformSocketApi(), 0);
    server.StartRemoteThread(kNoRemoteSocket);
    uint16_t port = server.WaitUntilListening();
    if (port == 0) {
        std::fprintf(stderr, "the server could not listen\n");
        return 1;
    }

    std::printf("REMOTE_POSITION round trips over loopback, %.1f s per level, %u cores\n", seconds,
                std::thread::hardware_concurrency());
    std::printf("%8s %12s %14s %10s %10s\n", "clients", "round trips", "per second", "p50 us",
                "p99 us");
    int status = 0;
    for (int clients : {1, 16, kRemoteMaxClients}) {
        LevelResult r = RunLevel(server, port, clients, seconds);
        if (r.failed) {
            std::printf("%8d  failed\n", clients);
            status = 1;
            continue;
        }
        std::printf("%8d %12ld %14.0f %10.1f %10.1f\n", r.clients, r.roundTrips,
                    r.roundTrips / r.seconds, r.p50Us, r.p99Us);
    }
    server.Stop();
    return status;
}
