// Remote server benchmark: REMOTE_POSITION round trips per second and their
// p50/p99 latency for 1, 16 and 64 clients at once, over loopback, against
// the in-process server or an outside one (the program under Wine), each
// beside a trivial echo responder as the floor of the machine.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/bounded_int.h"
#include "bench/echo_responder.h"
#include "changer/status_poll.h"
#include "protocol/remote_client_socket.h"
#include "protocol/remote_protocol.h"
#include "remote/remote_server.h"
#include "tests/support/remote_server_watch.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Endpoint {
    std::string host = "127.0.0.1";
    uint16_t port = 0;
    std::function<void()> afterLevel;  // waits until the server is idle again
};

struct LevelResult {
    long roundTrips = 0;
    double seconds = 0;
    double p50Us = 0;
    double p99Us = 0;
    bool failed = false;
    double PerSecond() const { return seconds > 0 ? roundTrips / seconds : 0; }
};

double Percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) {
        return 0;
    }
    size_t at = static_cast<size_t>(fraction * (sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

// clientCount clients, each sending its next request as soon as the reply
// is in (ratePerClient 0) or ratePerClient times a second.
LevelResult RunLevel(const Endpoint& endpoint, int clientCount, double seconds,
                     double ratePerClient) {
    LevelResult result;
    std::vector<std::unique_ptr<SocketRemoteConnection>> connections;
    unsigned char request[kRemoteFullRequestSize] = {};
    WriteRemoteInt(request, REMOTE_POSITION);
    for (int i = 0; i < clientCount; ++i) {
        auto connection = std::make_unique<SocketRemoteConnection>();
        std::string error;
        unsigned char reply[kRemotePositionSize];
        // One at a time, each proven by a round trip, so no handshake waits
        // in an overrun listen queue.
        if (!connection->Open(endpoint.host, endpoint.port, 10000, &error) ||
            !connection->SendAll(request, sizeof request) ||
            !connection->ReceiveExactly(reply, sizeof reply, 10000)) {
            std::fprintf(stderr, "client %d: %s\n", i + 1,
                         error.empty() ? "no reply" : error.c_str());
            result.failed = true;
            return result;
        }
        connections.push_back(std::move(connection));
    }

    std::atomic<bool> go{false};
    std::atomic<bool> failed{false};
    std::vector<std::vector<double>> latencies(clientCount);
    std::vector<std::thread> threads;
    Clock::time_point start;
    Clock::time_point end;
    for (int i = 0; i < clientCount; ++i) {
        threads.emplace_back([&, i] {
            unsigned char reply[kRemotePositionSize];
            std::vector<double>& mine = latencies[i];
            mine.reserve(ratePerClient > 0 ? static_cast<size_t>(ratePerClient * seconds) + 16
                                           : 200000);
            while (!go.load()) {
                std::this_thread::yield();
            }
            // Paced clients start spread over one period.
            double period = ratePerClient > 0 ? 1.0 / ratePerClient : 0;
            Clock::time_point next =
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(period * i / clientCount));
            for (;;) {
                if (period > 0) {
                    std::this_thread::sleep_until(next);
                    next += std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(period));
                }
                Clock::time_point sent = Clock::now();
                if (sent >= end) {
                    return;
                }
                if (!connections[i]->SendAll(request, sizeof request) ||
                    !connections[i]->ReceiveExactly(reply, sizeof reply, 10000)) {
                    failed = true;
                    return;
                }
                mine.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
            }
        });
    }
    start = Clock::now();
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
    if (endpoint.afterLevel) {
        endpoint.afterLevel();
    }
    return result;
}

void PrintRow(const char* label, const LevelResult& server, const LevelResult& echo) {
    if (server.failed || echo.failed) {
        std::printf("| %s | %s | | | %s | | | | |\n", label, server.failed ? "failed" : "",
                    echo.failed ? "failed" : "");
        return;
    }
    std::printf("| %s | %.0f | %.1f | %.1f | %.0f | %.1f | %.1f | %.2f | %.2f |\n", label,
                server.PerSecond(), server.p50Us, server.p99Us, echo.PerSecond(), echo.p50Us,
                echo.p99Us, echo.PerSecond() > 0 ? server.PerSecond() / echo.PerSecond() : 0,
                echo.p99Us > 0 ? server.p99Us / echo.p99Us : 0);
}

const int kLongestLevelSeconds = 3600;
const int kLargestPacedRate = 100000;

bool ParseTarget(const char* text, Endpoint* endpoint, std::string* error) {
    const char* colon = std::strrchr(text, ':');
    if (colon == nullptr || colon == text) {
        *error = "--target wants HOST:PORT";
        return false;
    }
    endpoint->host.assign(text, colon);
    int64_t port = 0;
    if (!ParseBoundedInt(colon + 1, {"--target", 1, 65535, "port"}, &port, error)) {
        return false;
    }
    endpoint->port = static_cast<uint16_t>(port);
    return true;
}

// A whole-number argument from 1 to largest.
bool WholeNumber(const char* what, const char* text, int64_t largest, double* value,
                 std::string* error) {
    int64_t number = 0;
    if (!ParseBoundedInt(text, {"", 1, largest, what}, &number, error)) {
        return false;
    }
    *value = static_cast<double>(number);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 2.0;
    double pacedRate = 100;  // requests a second per client in the paced run
    Endpoint target;
    bool outside = false;
    std::string error;
    bool good = true;
    for (int i = 1; i < argc && good; ++i) {
        if (std::strcmp(argv[i], "--target") == 0 && i + 1 < argc) {
            good = outside = ParseTarget(argv[++i], &target, &error);
        } else if (std::strcmp(argv[i], "--paced") == 0 && i + 1 < argc) {
            good = WholeNumber("--paced rate", argv[++i], kLargestPacedRate, &pacedRate, &error);
        } else {
            good =
                WholeNumber("seconds per level", argv[i], kLongestLevelSeconds, &seconds, &error);
        }
    }
    if (!good) {
        std::fprintf(stderr,
                     "remote-position-bench: %s\n"
                     "usage: remote-position-bench [SECONDS per level] [--target HOST:PORT]\n"
                     "                             [--paced REQUESTS per second per client]\n"
                     "Without --target the server runs in this process.\n",
                     error.c_str());
        return 2;
    }
    StartClientSockets();  // also starts Winsock for the servers here

    RemoteServerWatch watch;
    std::unique_ptr<RemoteServer> server;
    if (!outside) {
        g_nDisc = 42;
        g_nTrack = 7;
        RemoteServerOptions options;
        options.observer = &watch;
        server = std::make_unique<RemoteServer>(PlatformSocketApi(), 0, options);
        server->StartRemoteThread(kNoRemoteSocket);
        target.port = server->WaitUntilListening();
        if (target.port == 0) {
            std::fprintf(stderr, "the server could not listen\n");
            return 1;
        }
        target.afterLevel = [&watch] { watch.WaitForSessions(0, std::chrono::seconds(10)); };
    }
    EchoResponder echoResponder(PlatformSocketApi());
    Endpoint echo;
    echo.port = echoResponder.Start();
    if (echo.port == 0) {
        std::fprintf(stderr, "the echo responder could not listen\n");
        return 1;
    }

    std::printf(
        "REMOTE_POSITION round trips over loopback, %.1f s per level, %u cores; server: %s\n",
        seconds, std::thread::hardware_concurrency(),
        outside ? (target.host + ":" + std::to_string(target.port)).c_str()
                : "in-process (native)");
    std::printf("reference: echo responder in this process (8 bytes back per 12 received)\n\n");
    std::printf(
        "| clients | round trips/s | p50 us | p99 us | echo round trips/s | echo p50 us "
        "| echo p99 us | rate / echo | p99 / echo |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    int status = 0;
    LevelResult full;
    for (int clients : {1, 16, kRemoteMaxClients}) {
        LevelResult mine = RunLevel(target, clients, seconds, 0);
        LevelResult floor = RunLevel(echo, clients, seconds, 0);
        PrintRow(std::to_string(clients).c_str(), mine, floor);
        std::fflush(stdout);
        status |= mine.failed || floor.failed;
        full = mine;
    }
    LevelResult paced = RunLevel(target, kRemoteMaxClients, seconds, pacedRate);
    LevelResult pacedFloor = RunLevel(echo, kRemoteMaxClients, seconds, pacedRate);
    std::string label = std::to_string(kRemoteMaxClients) + " paced at " +
                        std::to_string(static_cast<int>(pacedRate)) + "/s each";
    PrintRow(label.c_str(), paced, pacedFloor);
    status |= paced.failed || pacedFloor.failed;

    // Little's law: with every client waiting for its reply, the mean
    // latency is clients / rate, whatever the server does.
    if (!full.failed && !paced.failed) {
        std::printf(
            "\np99 at %d clients: %.0f us saturated (mean by Little's law %.0f us), "
            "%.0f us paced; target under 1000 us\n",
            kRemoteMaxClients, full.p99Us, 1e6 * kRemoteMaxClients / full.PerSecond(), paced.p99Us);
    }
    if (server) {
        server->Stop();
    }
    echoResponder.Stop();
    return status;
}
