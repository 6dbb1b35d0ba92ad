// What counting plays costs the status poll: the play counter fed one poll's
// observation and a counted play recorded (the store changed, the write
// queued to an open library whose writer runs beside it), with the store
// holding 100 discs of 99 named tracks. Beside the poll's own time (one
// status exchange with the simulated changer at 9600 baud, measured in the
// same run) and the poll period.
//
// play-record-bench [--plays N] [--polls N]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/changer_line_posix.h"
#include "changer/magazine.h"
#include "changer/magazine_memory.h"
#include "changer/play_count.h"
#include "changer/status_poll.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"
#include "tools/changer-sim/changer_sim.h"

namespace {

double MsSince(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(q * (values.size() - 1))];
}

void PrintRow(const char* figure, double ours, double reference) {
    std::printf("%-46s %10.4fms %12.1fms\n", figure, ours, reference);
}

std::string DiscId(int disc) {
    char id[16];
    std::snprintf(id, sizeof id, "BENCH%05d", disc);
    return id;
}

}  // namespace

int main(int argc, char** argv) {
    int plays = 2000;
    int polls = 20;
    const BenchOption options[] = {{{"--plays", 10, 100000, "plays"}, &plays},
                                   {{"--polls", 3, 1000, "polls"}, &polls}};
    if (!ParseBenchOptions(argc, argv, options, "play-record-bench")) {
        std::fprintf(stderr, "usage: play-record-bench [--plays N] [--polls N]\n");
        return 2;
    }

    char folder[] = "/tmp/zubplaybench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    std::string problem = StartLibrary(std::string(folder) + "/zubcd.db", std::time(nullptr));
    if (!problem.empty() || g_hLibrary == nullptr) {
        std::fprintf(stderr, "play-record-bench: %s\n", problem.c_str());
        return 1;
    }
    for (int disc = 1; disc <= kSlotCount; ++disc) {
        SetDiscStyle(DiscId(disc), "Style " + std::to_string(disc % 7));
        for (int track = 1; track <= kLargestTrack; ++track) {
            SetTrackTitleStyle(DiscId(disc), track, "Title " + std::to_string(track), "");
        }
    }
    g_hLibrary->Flush();

    // Each play: polls of a 60-second track from its start to past its half,
    // one every poll period; the poll that counts it also records it. The
    // time is that of every poll's counter step plus the recording.
    std::vector<double> countedPolls;
    std::vector<double> quietPolls;
    PlayCounter counter;
    int64_t nowMs = 0;
    for (int play = 0; play < plays; ++play) {
        PlayObservation seen;
        seen.state = PlayState::Playing;
        seen.disc = play % kSlotCount + 1;
        seen.discId = DiscId(seen.disc);
        seen.track = play % kLargestTrack + 1;
        seen.lengthSeconds = 60;
        for (int ms = 0; ms <= 32000; ms += kPollPeriodMs) {
            seen.positionSeconds = ms / 1000;
            nowMs += kPollPeriodMs;
            auto start = std::chrono::steady_clock::now();
            CountedPlay counted;
            bool played = counter.Observe(seen, nowMs, &counted);
            if (played) {
                RecordPlay(counted.discId, counted.track, std::time(nullptr));
            }
            (played ? countedPolls : quietPolls).push_back(MsSince(start));
        }
    }
    auto flushStart = std::chrono::steady_clock::now();
    g_hLibrary->Flush();
    double drainMs = MsSince(flushStart);
    int failed = g_hLibrary->FailedWrites();
    EndLibrary();
    if (static_cast<int>(countedPolls.size()) != plays || failed != 0) {
        std::fprintf(stderr, "play-record-bench: %zu of %d plays counted, %d writes failed\n",
                     countedPolls.size(), plays, failed);
        return 1;
    }

    // The reference: the poll itself against the simulated changer.
    ChangerSimOptions simOptions;
    simOptions.magazine = BuildBenchMagazine(1, 12);
    simOptions.baud = 9600;
    ChangerSim changer(simOptions);
    auto line = StartChangerLine(changer);
    if (!line) {
        return 1;
    }
    g_hCom = line.get();
    std::vector<double> pollMs;
    for (int i = 0; i < polls; ++i) {
        auto start = std::chrono::steady_clock::now();
        PollStatusOnce();
        pollMs.push_back(MsSince(start));
    }
    g_hCom = nullptr;

    std::printf(
        "play counting: %d plays of 100 discs x 99 named tracks, library open; "
        "%d status polls at 9600 baud\n",
        plays, polls);
    std::printf("%-46s %12s %14s\n", "figure", "ours", "reference");
    double pollMedian = Quantile(pollMs, 0.5);
    PrintRow("counting poll, median (vs measured poll)", Quantile(countedPolls, 0.5), pollMedian);
    PrintRow("counting poll, 99th percentile (vs poll)", Quantile(countedPolls, 0.99), pollMedian);
    PrintRow("counting poll, worst (vs poll period)", Quantile(countedPolls, 1.0), kPollPeriodMs);
    PrintRow("other polls' counter step, median (vs poll)", Quantile(quietPolls, 0.5), pollMedian);
    std::printf("(the writer, on its own thread, was done %.0f ms after the last play)\n", drainMs);
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
    return 0;
}
