// The disc list's filter over 400 discs of 20 named tracks each: one zubweb
// serving four stand-in controllers on loopback ports, each with 100 discs.
// Every trial asks all four changers for the discs holding a text
// (GET /api/changers/K/discs?q=TEXT) and, as the reference in the same run,
// for their plain disc list (GET /api/changers/K/discs). Also the first
// filter (every disc's tracks fetched) and the filter function alone over
// the same 400 discs in one index (its texts prepared, as zubweb's cache
// keeps them).
#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/changer_facts.h"
#include "bench/web_bench.h"
#include "clients/zubweb/web_names.h"
#include "clients/zubweb/web_service.h"
#include "protocol/remote_client_socket.h"
#include "tests/support/fake_controller_posix.h"

namespace {

using Clock = BenchClock;

const int kChangers = 4;
const int kTracksPerDisc = 20;
const double kTargetMs = 50.0;
const char* const kStyles[] = {"Jazz", "Dub", "Electronica", "Folk", "Blues", "Ambient"};
// What the trials look for, in turn: names, styles, a track title, a slot,
// nothing that matches.
const char* const kQueries[] = {"artist 3", "JAZZ",     "song 7 of disc 42", "17",
                                "blue",     "title 99", "nothing like this", "s",
                                "ambient",  "disc 100"};

std::vector<FakeDisc> Magazine(int changer) {
    std::vector<FakeDisc> discs;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        int number = changer * kSlotCount + slot;
        FakeDisc disc;
        disc.slot = slot;
        disc.artist = "Artist " + std::to_string(number % 97);
        disc.title = "Title " + std::to_string(number);
        disc.style = kStyles[number % 6];
        for (int t = 1; t <= kTracksPerDisc; ++t) {
            disc.tracks.push_back(
                {"Song " + std::to_string(t) + " of disc " + std::to_string(number),
                 t % 3 == 0 ? kStyles[(number + t) % 6] : "", t % 5});
        }
        discs.push_back(disc);
    }
    return discs;
}

// query as a URL's query value: letters and digits as they are, the rest
// %XX.
std::string QueryText(const std::string& query) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : query) {
        if (std::isalnum(c)) {
            text += static_cast<char>(c);
        } else {
            text += '%';
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
    }
    return text;
}

// All four changers asked in turn; ms, or -1 when one failed.
double AskAll(httplib::Client& client, const std::string& query, size_t* found) {
    Clock::time_point start = Clock::now();
    *found = 0;
    for (int k = 0; k < kChangers; ++k) {
        std::string path = "/api/changers/" + std::to_string(k) + "/discs" +
                           (query.empty() ? "" : "?q=" + QueryText(query));
        auto reply = client.Get(path.c_str());
        if (!reply || reply->status != 200) {
            return -1;
        }
        *found += static_cast<size_t>(std::count(reply->body.begin(), reply->body.end(), '{'));
    }
    return Ms(Clock::now() - start);
}

void PrintRow(const char* name, const std::vector<double>& values) {
    std::printf("%-44s %8.2f ms %8.2f ms %8.2f ms\n", name, Percentile(values, 0.5),
                Percentile(values, 0.99), Percentile(values, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
    int trials = 200;
    if (!ParseTrials(argc, argv, "usage: web-filter-bench [--trials N]", &trials)) {
        return 2;
    }
    StartClientSockets();
    std::vector<std::unique_ptr<FakeController>> fakes;
    std::vector<uint16_t> ports;
    WebDiscIndex all;  // the 400 discs in one index, for the function alone
    for (int k = 0; k < kChangers; ++k) {
        fakes.push_back(std::make_unique<FakeController>(100, Clock::now()));
        std::vector<FakeDisc> discs = Magazine(k);
        for (const FakeDisc& disc : discs) {
            RemoteSlotRecord slot;
            slot.present = true;
            slot.artist = disc.artist;
            slot.title = disc.title;
            all.slots.push_back(slot);
            RemoteTracksRecord tracks;
            tracks.style = disc.style;
            for (size_t t = 0; t < disc.tracks.size(); ++t) {
                tracks.tracks.push_back({static_cast<int32_t>(t + 1), disc.tracks[t].plays,
                                         disc.tracks[t].title, disc.tracks[t].style});
            }
            all.tracks[static_cast<int>(all.slots.size())] = tracks;
        }
        fakes.back()->SetDiscs(std::move(discs));
        ports.push_back(fakes.back()->Start());
        if (ports.back() == 0) {
            std::fprintf(stderr, "web-filter-bench: no loopback port\n");
            return 1;
        }
    }
    for (int slot = 1; slot <= static_cast<int>(all.slots.size()); ++slot) {
        all.texts[slot] = DiscSearchText(all, slot);
    }
    WebService web(LoopbackRemotes(ports));
    uint16_t port = static_cast<uint16_t>(web.Listen("127.0.0.1", 0));
    if (port == 0) {
        std::fprintf(stderr, "web-filter-bench: zubweb could not listen\n");
        return 1;
    }
    web.Start();
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10, 0);
    size_t found = 0;
    double first = -1;
    for (int attempt = 0; attempt < 100 && first < 0; ++attempt) {
        first = AskAll(client, "artist", &found);  // until every watch has its first status
        if (first < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (first < 0) {
        std::fprintf(stderr, "web-filter-bench: the stand-ins do not answer\n");
        return 1;
    }
    std::vector<double> filtered;
    std::vector<double> plain;
    std::vector<double> function;
    size_t matches = 0;
    for (int i = 0; i < trials; ++i) {
        const std::string query = kQueries[i % (sizeof kQueries / sizeof kQueries[0])];
        double ms = AskAll(client, query, &found);
        double reference = AskAll(client, "", &matches);
        if (ms < 0 || reference < 0) {
            std::fprintf(stderr, "web-filter-bench: a request failed\n");
            return 1;
        }
        filtered.push_back(ms);
        plain.push_back(reference);
        Clock::time_point start = Clock::now();
        matches = MatchingSlots(all, query).size();
        function.push_back(Ms(Clock::now() - start));
    }
    std::printf("%d changers x %d discs x %d named tracks, %d trials\n", kChangers, kSlotCount,
                kTracksPerDisc, trials);
    std::printf("%-44s %11s %11s %11s\n", "", "median", "p99", "max");
    PrintRow("filter, all 4 changers (?q=TEXT)", filtered);
    PrintRow("reference: plain disc lists, all 4", plain);
    PrintRow("filter function alone, 400 discs", function);
    std::printf("first filter (every disc's tracks fetched)  %8.2f ms\n", first);
    bool ok = Percentile(filtered, 0.99) <= kTargetMs;
    std::printf("target: the filter answers within %.0f ms at the 99th percentile: %s\n", kTargetMs,
                ok ? "met" : "NOT met");
    return ok ? 0 : 1;
}
