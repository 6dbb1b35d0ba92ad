// Status poll period: the intervals between the status frames the simulated
// changer receives, beside 1200 ms plus the status exchange's time on the
// line. Runs PollStatusThread natively against the simulator paced at the
// line's rate, or reads the frame log of a simulator another program polled.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/bounded_int.h"
#include "bench/changer_line_posix.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "tools/changer-sim/changer_sim.h"

namespace {

const int kStatusExchangeBytes = 6 + 28;  // the frame, then the whole status reply

struct Options {
    int polls = 100;
    int baud = 9600;
    std::string logPath;  // analyse this log instead of polling
    std::string label = "native, PollStatusThread";
    bool header = false;
};

// Times (s) of the status frames in a simulator frame log.
bool ReadStatusTimes(const std::string& path, std::vector<double>& times) {
    std::ifstream log(path);
    if (!log) {
        return false;
    }
    std::string text;
    while (std::getline(log, text)) {
        std::istringstream fields(text);
        double time;
        std::string command;
        if (fields >> time >> command && command == "16") {
            times.push_back(time);
        }
    }
    return true;
}

bool PollNatively(const Options& options, std::vector<double>& times) {
    ChangerSimOptions simOptions;
    simOptions.baud = options.baud;
    static ChangerSim changer(simOptions);  // outlives the poll thread
    auto line = StartChangerLine(changer);
    if (!line) {
        return false;
    }
    g_hCom = line.release();  // used by the poll thread until the process ends
    std::thread(PollStatusThread, reinterpret_cast<WindowHandle>(1), PollLoop()).detach();

    size_t wanted = static_cast<size_t>(options.polls) + 1;
    int limitMs = static_cast<int>(wanted * 2 * kPollPeriodMs) + 30000;
    bool done = changer.WaitForFrames(
        [&](const std::vector<SimFrameRecord>& frames) { return frames.size() >= wanted; },
        limitMs);
    for (const SimFrameRecord& frame : changer.Frames()) {
        if (frame.command == CMD_STATUS) {
            times.push_back(frame.time);
        }
    }
    return done;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

const int kMostPolls = 100000;
const int kLargestBaud = 1000000;

int Usage() {
    std::fprintf(stderr,
                 "usage: poll-period-bench [--polls N] [--baud N] [--label TEXT] [--header]\n"
                 "                         [--log SIMULATOR_LOG]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--header") {
            options.header = true;
            continue;
        }
        if (i + 1 >= argc) {
            return Usage();
        }
        const char* value = argv[++i];
        int64_t number = 0;
        std::string error;
        if (option == "--polls" || option == "--baud") {
            bool polls = option == "--polls";
            NumberBounds bounds = polls ? NumberBounds{"--polls", 2, kMostPolls, "count of polls"}
                                        : NumberBounds{"--baud", 1, kLargestBaud, "baud rate"};
            if (!ParseBoundedInt(value, bounds, &number, &error)) {
                std::fprintf(stderr, "poll-period-bench: %s\n", error.c_str());
                return Usage();
            }
            (polls ? options.polls : options.baud) = static_cast<int>(number);
        } else if (option == "--log") {
            options.logPath = value;
        } else if (option == "--label") {
            options.label = value;
        } else {
            return Usage();
        }
    }

    std::vector<double> times;
    bool complete = options.logPath.empty() ? PollNatively(options, times)
                                            : ReadStatusTimes(options.logPath, times);
    if (times.size() > static_cast<size_t>(options.polls) + 1) {
        times.resize(options.polls + 1);
    }
    if (!complete || times.size() < 3) {
        std::fprintf(stderr, "%s: only %zu status frames\n", options.label.c_str(), times.size());
        std::fflush(stdout);
        _exit(1);
    }

    double exchangeMs = kStatusExchangeBytes * 10.0 * 1000.0 / options.baud;
    double reference = kPollPeriodMs + exchangeMs;
    std::vector<double> intervals;
    double worst = 0;
    for (size_t i = 1; i < times.size(); ++i) {
        double interval = (times[i] - times[i - 1]) * 1000.0;
        intervals.push_back(interval);
        if (std::fabs(interval - reference) > std::fabs(worst)) {
            worst = interval - reference;
        }
    }
    double median = Median(intervals);
    if (options.header) {
        std::printf(
            "status poll period over %d polls; reference 1200 ms + %.1f ms status "
            "exchange at %d baud\n",
            options.polls, exchangeMs, options.baud);
        std::printf("%-28s %6s %12s %12s %8s %12s %12s\n", "run", "polls", "median", "reference",
                    "ratio", "median dev", "max dev");
    }
    std::printf("%-28s %6zu %9.1f ms %9.1f ms %7.4fx %+9.1f ms %+9.1f ms\n", options.label.c_str(),
                intervals.size(), median, reference, median / reference, median - reference, worst);
    std::fflush(stdout);
    // The poll thread never ends: leave without running destructors under it.
    _exit(0);
}
