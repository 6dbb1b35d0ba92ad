// Magazine scan at line speed: ScanMagazine over a real pty against the
// simulated changer paced as a 9600-baud line, beside the line limit, the
// time the bytes that crossed the line need at 10 bits per byte (plus the
// changer's mechanical time per load, when it has one).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/changer_line_posix.h"
#include "bench/null_list.h"
#include "changer/magazine.h"
#include "changer/magazine_scan.h"
#include "link/changer_link.h"
#include "tools/changer-sim/changer_sim.h"

namespace {

struct LineTally {
    int exchanges = 0;
    int loads = 0;
    long long frameBytes = 0;
    long long replyBytes = 0;
};

LineTally TallyFrames(const std::vector<SimFrameRecord>& frames) {
    LineTally tally;
    for (const SimFrameRecord& frame : frames) {
        ++tally.exchanges;
        // STX, length, command, argument, ETX; a bad frame's raw bytes as is.
        tally.frameBytes += frame.bad ? frame.argument.size() : 6 + frame.argument.size();
        tally.replyBytes += frame.reply.size();
        if (frame.command == CMD_LOAD) {
            ++tally.loads;
        }
    }
    return tally;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: scan-line-speed-bench [--discs N] [--tracks N] [--baud N]\n"
                 "                             [--load-delay MS] [--project-load MS]\n");
    return 2;
}

void PrintRow(const char* figure, double ours, double reference, const char* unit) {
    std::printf("%-40s %10.3f%-2s %10.3f%-2s %7.4fx (%+.2f%%)\n", figure, ours, unit, reference,
                unit, ours / reference, 100.0 * (ours / reference - 1.0));
}

}  // namespace

int main(int argc, char** argv) {
    int discs = 100;
    int tracks = 12;
    int baud = 9600;
    int loadDelayMs = 0;
    int projectLoadMs = 0;
    // Each option, its bounds and what it sets.
    const BenchOption kOptions[] = {
        {{"--discs", 0, kSlotCount, "count of discs"}, &discs},
        {{"--tracks", 1, kLargestTrack, "count of tracks"}, &tracks},
        {{"--baud", 1, 1000000, "baud rate"}, &baud},
        {{"--load-delay", 0, 8999, "delay in ms"}, &loadDelayMs},
        {{"--project-load", 0, 600000, "load time in ms"}, &projectLoadMs},
    };
    if (!ParseBenchOptions(argc, argv, kOptions, "scan-line-speed-bench")) {
        return Usage();
    }

    ChangerSimOptions options;
    options.magazine = BuildBenchMagazine(discs, tracks);
    options.manualClock = true;
    options.baud = baud;
    options.loadDelayMs = loadDelayMs;
    ChangerSim changer(options);
    auto line = StartChangerLine(changer);
    if (!line) {
        return 1;
    }
    g_hCom = line.get();

    NullList discList;
    NullList trackList;
    auto start = std::chrono::steady_clock::now();
    ScanProgress goOn;
    ScanMagazine(discList, trackList, goOn);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    g_hCom = nullptr;

    int found = 0;
    int wrongTracks = 0;
    for (const DiscSlot& slot : g_slots) {
        if (slot.wFlags & SLOT_PRESENT) {
            ++found;
            wrongTracks += slot.wTrackCount != tracks;
        }
    }
    LineTally tally = TallyFrames(changer.Frames());
    long long bytes = tally.frameBytes + tally.replyBytes;
    double lineSeconds = bytes * 10.0 / baud;
    double mechanicalSeconds = tally.loads * loadDelayMs / 1000.0;
    double limit = lineSeconds + mechanicalSeconds;

    std::printf("magazine scan at line speed: %d discs x %d tracks, %d baud, %d ms per load\n",
                discs, tracks, baud, loadDelayMs);
    std::printf("%d exchanges (%d loads), %lld bytes on the line: frames %lld, replies %lld\n",
                tally.exchanges, tally.loads, bytes, tally.frameBytes, tally.replyBytes);
    std::printf("%-40s %12s %12s %18s\n", "figure", "ours", "reference", "ratio");
    PrintRow(loadDelayMs > 0 ? "scan time (line limit + loads)" : "scan time (line limit)", seconds,
             limit, "s");
    PrintRow("time per exchange", seconds * 1000.0 / tally.exchanges,
             limit * 1000.0 / tally.exchanges, "ms");
    if (projectLoadMs > 0) {
        double extra = tally.loads * (projectLoadMs - loadDelayMs) / 1000.0;
        char figure[64];
        std::snprintf(figure, sizeof figure, "projected at %d ms per load", projectLoadMs);
        PrintRow(figure, seconds + extra, limit + extra, "s");
    }

    if (found != discs || wrongTracks != 0) {
        std::fprintf(stderr, "the scan found %d discs (%d with a wrong track count), not %d\n",
                     found, wrongTracks, discs);
        return 1;
    }
    return 0;
}
