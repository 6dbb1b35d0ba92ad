// The remembered magazine against the scan it saves: opening a library of
// 100 slots and filling the table and the disc list, beside a full scan at
// 9600 baud and a realistic load time (measured over the first slots,
// projected to 100); and the first-load check of a remembered disc, beside
// the wire time of the one exchange it adds.
//
// library-bench [--slots N] [--load-ms MS]    the figures
// library-bench --write PATH                  a 100-slot library for the Wine bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench/changer_line_posix.h"
#include "bench/null_list.h"
#include "changer/magazine.h"
#include "changer/magazine_memory.h"
#include "changer/magazine_scan.h"
#include "changer/playlist.h"
#include "library/library.h"
#include "link/changer_link.h"
#include "tools/changer-sim/changer_sim.h"

namespace {

const int kTracks = 12;
const int kChecks = 15;

// Stops the scan after a number of slots.
class StopAfter : public ScanProgress {
public:
    explicit StopAfter(int slots) : left_(slots) {}
    bool ContinueAfterSlot() override { return --left_ > 0; }

private:
    int left_;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrintRow(const char* figure, double ours, double reference, const char* unit) {
    std::printf("%-44s %10.3f%-2s %12.3f%-2s\n", figure, ours, unit, reference, unit);
}

// A library of 100 discs of 99 tracks (the largest there can be) at path.
bool WriteLibrary(const std::string& path) {
    LibraryOpening opening = OpenLibrary(path, std::time(nullptr));
    if (opening.outcome != LibraryReady) {
        std::fprintf(stderr, "library-bench: %s %s\n", path.c_str(), opening.problem.c_str());
        return false;
    }
    SimMagazine magazine = BuildBenchMagazine(kSlotCount, kLargestTrack);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const SimDisc& disc = magazine[slot];
        StoredSlot stored;
        stored.slot = slot;
        stored.present = 1;
        stored.discId = disc.id;
        stored.firstTrack = 1;
        stored.trackCount = kLargestTrack;
        stored.discMinutes = disc.TotalSeconds() / 60 % 256;
        stored.discSeconds = disc.TotalSeconds() % 60;
        stored.readAt = std::time(nullptr);
        for (int j = 0; j < kLargestTrack; ++j) {
            int start = disc.TrackStart(j + 1);
            int length = disc.trackSeconds[j];
            stored.tracks.push_back(
                {j, start / 60 % 256, start % 60, length / 60 % 256, length % 60});
        }
        opening.library->StoreSlot(stored);
    }
    opening.library->Close();
    return opening.library->FailedWrites() == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
        return WriteLibrary(argv[2]) ? 0 : 1;
    }
    int slots = 8;
    int loadMs = 6000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--slots") == 0) {
            slots = std::max(1, std::min(kSlotCount, std::atoi(argv[i + 1])));
        } else if (std::strcmp(argv[i], "--load-ms") == 0) {
            loadMs = std::max(0, std::atoi(argv[i + 1]));
        } else {
            std::fprintf(stderr,
                         "usage: library-bench [--slots N] [--load-ms MS] | --write PATH\n");
            return 2;
        }
    }

    // 1. Start-up from the library: 100 discs of 99 tracks.
    char folder[] = "/tmp/zublibbench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    std::string path = std::string(folder) + "/zubcd.db";
    if (!WriteLibrary(path)) {
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    std::string problem = StartLibrary(path, std::time(nullptr));
    NullList discList;
    ShowMagazineRows(discList);
    double restoreSeconds = Seconds(start);
    if (!problem.empty() || discList.rows != kSlotCount || g_slots[99].wTrackCount != 99) {
        std::fprintf(stderr, "library-bench: the library did not restore: %s\n", problem.c_str());
        return 1;
    }
    EndLibrary();

    // 2. The scan it saves: the first slots at 9600 baud, projected to 100
    // slots at loadMs per load.
    ChangerSimOptions options;
    options.magazine = BuildBenchMagazine(kSlotCount, kTracks);
    options.manualClock = true;
    options.baud = 9600;
    ChangerSim changer(options);
    auto line = StartChangerLine(changer);
    if (!line) {
        return 1;
    }
    g_hCom = line.get();
    g_hLibrary = nullptr;  // the scan's own time, without the writer beside it
    NullList trackList;
    StopAfter progress(slots);
    start = std::chrono::steady_clock::now();
    ScanResult scanned = ScanMagazine(discList, trackList, progress);
    double scanSeconds = Seconds(start);
    double projected = scanSeconds / scanned.lastSlot * kSlotCount + kSlotCount * loadMs / 1000.0;

    // 3. The first-load check: a play request for a remembered slot beside
    // one for a trusted slot, each the median of kChecks.
    std::vector<double> checked;
    std::vector<double> trusted;
    std::vector<double> exchanges;  // the identifier exchange alone
    for (int i = 0; i < kChecks; ++i) {
        start = std::chrono::steady_clock::now();
        ChangerTransactLocked(CMD_DISC_ID, "", nullptr);
        exchanges.push_back(Seconds(start));
        {
            std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
            g_bSlotRemembered[0] = true;
        }
        start = std::chrono::steady_clock::now();
        PlayDiscTrack(1, 1, 1);
        checked.push_back(Seconds(start));
        start = std::chrono::steady_clock::now();
        PlayDiscTrack(1, 1, 1);
        trusted.push_back(Seconds(start));
    }
    long long idExchangeBytes = 0;
    for (const SimFrameRecord& frame : changer.Frames()) {
        if (frame.command == CMD_DISC_ID) {
            idExchangeBytes =
                6 + static_cast<long long>(frame.argument.size()) + frame.reply.size();
        }
    }
    g_hCom = nullptr;
    double wireMs = idExchangeBytes * 10.0 * 1000.0 / 9600;
    double checkMs = (Median(checked) - Median(trusted)) * 1000.0;

    std::printf(
        "remembered magazine: 100 discs of 99 tracks; scan of %d discs of %d tracks at "
        "9600 baud, projected to 100 at %d ms per load\n",
        scanned.lastSlot, kTracks, loadMs);
    std::printf("%-44s %12s %14s\n", "figure", "ours", "reference");
    PrintRow("start-up to a full disc list (vs full scan)", restoreSeconds, projected, "s");
    PrintRow("scan time per slot, without the load", scanSeconds / scanned.lastSlot,
             scanSeconds / scanned.lastSlot, "s");
    PrintRow("first-load check (vs one exchange on wire)", checkMs, wireMs, "ms");
    PrintRow("first-load check beyond the wire time", checkMs - wireMs, 1.0, "ms");
    double exchangeMs = Median(exchanges) * 1000.0;
    PrintRow("first-load check beyond one measured exchange", checkMs - exchangeMs, 1.0, "ms");
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
    return 0;
}
