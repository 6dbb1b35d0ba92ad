// Status reply ('6') latency while a magazine scan holds the serial line
// (and a Next waits for it, holding the playlist), beside the same requests
// with the changer idle, in one run: the in-process remote server over
// loopback, the scan over a pty against the simulated changer paced as a
// 9600-baud line with mechanical time per load.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_options.h"
#include "bench/changer_line_posix.h"
#include "bench/null_list.h"
#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/magazine_scan.h"
#include "changer/playlist.h"
#include "protocol/remote_client_socket.h"
#include "protocol/remote_protocol.h"
#include "remote/remote_server.h"
#include "tools/changer-sim/changer_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

// Where the p99 during a scan must stay.
const double kTargetP99Ms = 50.0;
// The pause between two status requests, as a page's watcher might ask.
const std::chrono::milliseconds kRequestPause{10};

SimMagazine BuildMagazine(int discs, int tracks) {
    SimMagazine magazine;
    for (int slot = 1; slot <= discs; ++slot) {
        SimDisc disc;
        char id[16];
        std::snprintf(id, sizeof id, "ZUB%07d", slot);
        disc.id = id;
        disc.trackSeconds.assign(tracks, 180);
        magazine[slot] = disc;
    }
    return magazine;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(fraction * (values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// Status round trips on one connection, one every kRequestPause, while
// goOn() holds (and at most count of them); milliseconds each. Empty on a
// failed exchange.
template <typename GoOn>
std::vector<double> TimeStatusReplies(uint16_t port, int count, GoOn goOn) {
    std::vector<double> times;
    SocketRemoteConnection connection;
    std::string error;
    if (!connection.Open("127.0.0.1", port, 5000, &error)) {
        std::fprintf(stderr, "cannot connect: %s\n", error.c_str());
        return {};
    }
    unsigned char request[kRemoteFullRequestSize] = {};
    WriteRemoteInt(request, REMOTE_STATUS);
    unsigned char reply[kRemoteStatusSize];
    while (static_cast<int>(times.size()) < count && goOn()) {
        auto start = Clock::now();
        if (!connection.SendAll(request, sizeof request) ||
            !connection.ReceiveExactly(reply, sizeof reply, 10000)) {
            std::fprintf(stderr, "a status request got no reply within 10 s\n");
            return {};
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(kRequestPause);
    }
    return times;
}

void PrintRow(const char* what, const std::vector<double>& times) {
    std::printf("%-44s %8zu %10.3f ms %10.3f ms %10.3f ms\n", what, times.size(),
                Percentile(times, 0.5), Percentile(times, 0.99),
                *std::max_element(times.begin(), times.end()));
}

int Usage() {
    std::fprintf(stderr, "usage: status-during-scan-bench [--discs N] [--load-delay MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int discs = 10;
    int loadDelayMs = 100;
    const BenchOption kOptions[] = {
        {{"--discs", 1, kSlotCount, "count of discs"}, &discs},
        {{"--load-delay", 0, 8999, "delay in ms"}, &loadDelayMs},
    };
    if (!ParseBenchOptions(argc, argv, kOptions, "status-during-scan-bench")) {
        return Usage();
    }

    ChangerSimOptions options;
    options.magazine = BuildMagazine(discs, 10);
    options.manualClock = true;
    options.baud = 9600;
    options.loadDelayMs = loadDelayMs;
    ChangerSim changer(options);
    auto line = StartChangerLine(changer);
    if (!line) {
        return 1;
    }
    g_hCom = line.get();
    // A playlist for the Next that waits for the scan.
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        g_slots[0].wFlags = SLOT_PRESENT;
        g_slots[0].wFirstTrack = 1;
        g_slots[0].wTrackCount = 10;
        PublishWholeMagazine();
    }
    BuildPlaylist();

    RemoteServer server(PlatformSocketApi(), 0);
    server.StartRemoteThread(kNoRemoteSocket);
    uint16_t port = server.WaitUntilListening();
    if (port == 0) {
        std::fprintf(stderr, "the remote server could not listen\n");
        return 1;
    }

    const int idleCount = 300;
    std::vector<double> idle = TimeStatusReplies(port, idleCount, [] { return true; });

    std::atomic<bool> scanning{true};
    std::thread scan([&] {
        NullList discList;
        NullList trackList;
        ScanProgress goOn;
        ScanMagazine(discList, trackList, goOn);
        scanning = false;
    });
    // Once the scan holds the line, a Next waits for it holding the playlist.
    auto scanRuns = [] {
        MagazineCopy copy;
        ReadMagazineCopy(&copy);
        return copy.scanning;
    };
    while (!scanRuns() && scanning) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::thread next([] { PlayNextEntry(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<double> during = TimeStatusReplies(port, 1 << 20, [&] { return scanning.load(); });
    scan.join();
    next.join();
    server.Stop();
    g_hCom = nullptr;

    if (idle.empty() || during.empty()) {
        return 1;
    }
    std::printf(
        "status reply latency: %d discs, 9600 baud, %d ms per load, a request every %d ms\n", discs,
        loadDelayMs, static_cast<int>(kRequestPause.count()));
    std::printf("%-44s %8s %13s %13s %13s\n", "", "replies", "median", "p99", "max");
    PrintRow("changer idle (reference)", idle);
    PrintRow("during a scan, a Next waiting for it", during);
    double p99 = Percentile(during, 0.99);
    std::printf("target: p99 during a scan under %.0f ms: %s\n", kTargetP99Ms,
                p99 < kTargetP99Ms ? "met" : "MISSED");
    return 0;
}
