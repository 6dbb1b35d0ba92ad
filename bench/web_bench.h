// What the web benchmarks share: their times and percentiles, the
// "--trials N" command line, zubweb's changers on loopback ports, and a
// client of an event stream that logs what it sees.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "clients/zubweb/web_options.h"

using BenchClock = std::chrono::steady_clock;

// How long a benchmark waits for an event (or a frame) it caused.
const int kEventLimitMs = 10000;

double Ms(BenchClock::duration duration);

// The value below which share (0..1) of values lie, the nearest of them.
double Percentile(std::vector<double> values, double share);

// "--trials N" (N at least 2) and, when serve is given, "--serve". False on
// anything else, after the usage line on stderr.
bool ParseTrials(int argc, char** argv, const char* usage, int* trials, bool* serve = nullptr);

// One changer per port, each at 127.0.0.1 and named by where it is.
std::vector<WebRemote> LoopbackRemotes(const std::vector<uint16_t>& ports);

// One event of a stream: when it came, its changer (0 when it names none),
// disc, track and status code.
struct SeenEvent {
    BenchClock::time_point at;
    int changer;
    int disc;
    int track;
    std::string code;
};

class EventLog {
public:
    void Add(const SeenEvent& seen);
    // The time of the first event after index from that match accepts;
    // false when none comes within kEventLimitMs.
    bool WaitFor(size_t from, const std::function<bool(const SeenEvent&)>& match,
                 BenchClock::time_point* at);
    size_t Count();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SeenEvent> events_;
};

// Reads the event stream at path of the zubweb on port, one "data: {...}"
// line per event, and logs every event of a reachable changer; until the
// stream ends or is silent for readTimeoutSeconds.
void ReadEvents(uint16_t port, std::string path, int readTimeoutSeconds, EventLog* log);
