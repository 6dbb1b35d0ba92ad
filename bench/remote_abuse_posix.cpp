// remote-abuse: drives bounded abuse scenarios against a remote server (its
// own in-process server, or any host:port such as the program under Wine)
// and checks that the server keeps answering and that the server process's
// descriptors and threads come back to where they were.
#include <unistd.h>

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
#include "bench/remote_abuse_client_posix.h"
#include "bench/remote_abuse_scenarios_posix.h"
#include "changer/status_poll.h"
#include "platform/window_hooks_posix.h"
#include "remote/remote_server.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    AbuseTarget target;
    bool self = false;
    bool longForm = false;
    int pid = 0;
    int settleMs = 20000;
    std::vector<std::string> scenarios;
};

struct Scenario {
    const char* name;
    std::function<AbuseOutcome(const AbuseTarget&, bool longForm)> run;
    bool onlyByName = false;  // left out of the default set
};

const Scenario kScenarios[] = {
    {"many", [](const AbuseTarget& t, bool l) { return RunManyClients(t, l ? 3 : 1); }},
    {"resets", [](const AbuseTarget& t, bool l) { return RunResetCycles(t, l ? 10000 : 1000); }},
    {"random",
     [](const AbuseTarget& t, bool l) { return RunRandomBytes(t, l ? 400 : 40, l ? 40 : 20); }},
    {"split", [](const AbuseTarget& t, bool l) { return RunSplitRequests(t, l ? 4000 : 400); }},
    {"noread",
     [](const AbuseTarget& t, bool l) { return RunNonReaders(t, l ? 4 : 2, l ? 200 : 50); }},
    {"idle", [](const AbuseTarget& t, bool) { return RunIdleClients(t); }, true},
};

void PrintUsage() {
    std::fprintf(stderr,
                 "usage: remote-abuse --self [OPTIONS] [SCENARIO...]\n"
                 "       remote-abuse --port P [--host H] [--pid PID] [OPTIONS] [SCENARIO...]\n"
                 "  --self          run against an in-process server on a free port\n"
                 "  --pid PID       the server's process, whose /proc fd and task counts\n"
                 "                  must come back to their baseline after each scenario\n"
                 "  --long          the long form (10,000 reset cycles and more)\n"
                 "  --seed N        seed of the random bytes (default 4239)\n"
                 "  --settle-ms MS  how long the counts may take to come back (20000)\n"
                 "scenarios: many resets random split noread (default: these)\n"
                 "           idle (only when named: waits out the server's 30 s idle limit)\n");
}

// The number after option at argv[*i]; false with a message when it is
// missing or out of bounds.
bool NumberOption(int argc, char** argv, int* i, int64_t smallest, int64_t largest,
                  const char* what, int64_t* value) {
    std::string error = std::string(argv[*i]) + " needs a value";
    if (*i + 1 < argc &&
        ParseBoundedInt(argv[*i + 1], {argv[*i], smallest, largest, what}, value, &error)) {
        *i += 1;
        return true;
    }
    std::fprintf(stderr, "remote-abuse: %s\n", error.c_str());
    return false;
}

const int kLongestSettleMs = 600000;

bool ParseOptions(int argc, char** argv, Options* options) {
    int64_t port = options->target.port;
    int64_t pid = options->pid;
    int64_t seed = options->target.seed;
    int64_t settleMs = options->settleMs;
    struct NumberFlag {
        const char* name;
        int64_t smallest;
        int64_t largest;
        const char* what;
        int64_t* value;
    };
    const NumberFlag numberFlags[] = {
        {"--port", 1, 65535, "port", &port},
        {"--pid", 1, INT32_MAX, "process id", &pid},
        {"--seed", 0, UINT32_MAX, "seed", &seed},
        {"--settle-ms", 0, kLongestSettleMs, "settle time in ms", &settleMs},
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const NumberFlag* flag = nullptr;
        for (const NumberFlag& candidate : numberFlags) {
            if (arg == candidate.name) {
                flag = &candidate;
            }
        }
        if (flag != nullptr) {
            if (!NumberOption(argc, argv, &i, flag->smallest, flag->largest, flag->what,
                              flag->value)) {
                return false;
            }
        } else if (arg == "--self") {
            options->self = true;
        } else if (arg == "--long") {
            options->longForm = true;
        } else if (arg == "--host" && i + 1 < argc) {
            options->target.host = argv[++i];
        } else if (!arg.empty() && arg[0] != '-') {
            options->scenarios.push_back(arg);
        } else {
            return false;
        }
    }
    options->target.port = static_cast<uint16_t>(port);
    options->pid = static_cast<int>(pid);
    options->target.seed = static_cast<unsigned>(seed);
    options->settleMs = static_cast<int>(settleMs);
    return options->self || options->target.port != 0;
}

// Waits until the counts are no higher than the baseline, or the limit.
ProcessCounts SettleCounts(int pid, const ProcessCounts& baseline, int limitMs) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        ProcessCounts now = ReadProcessCounts(pid);
        if ((now.fds <= baseline.fds && now.tasks <= baseline.tasks) || Clock::now() >= deadline) {
            return now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// The counts once they have held still for a moment.
ProcessCounts SteadyCounts(int pid) {
    ProcessCounts last = ReadProcessCounts(pid);
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ProcessCounts now = ReadProcessCounts(pid);
        if (now == last) {
            break;
        }
        last = now;
    }
    return last;
}

std::string CountsText(int before, int after) {
    if (before < 0) {
        return "-";
    }
    return std::to_string(before) + " -> " + std::to_string(after);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        PrintUsage();
        return 2;
    }
    std::unique_ptr<RemoteServer> server;
    if (options.self) {
        g_nDisc = 42;
        g_nTrack = 7;
        server = std::make_unique<RemoteServer>(PlatformSocketApi(), 0);
        server->StartRemoteThread(kNoRemoteSocket);
        options.target.port = server->WaitUntilListening();
        if (options.target.port == 0) {
            std::fprintf(stderr, "remote-abuse: the in-process server could not listen\n");
            return 1;
        }
        options.pid = static_cast<int>(::getpid());
    }
    if (options.scenarios.empty()) {
        for (const Scenario& scenario : kScenarios) {
            if (!scenario.onlyByName) {
                options.scenarios.push_back(scenario.name);
            }
        }
    }

    // Warm up, so that what the server sets up on its first client is in
    // the baseline.
    if (!ServerAnswers(options.target)) {
        std::fprintf(stderr, "remote-abuse: nothing answers on %s:%u\n",
                     options.target.host.c_str(), unsigned(options.target.port));
        return 1;
    }
    ProcessCounts baseline;
    if (options.pid > 0) {
        baseline = SteadyCounts(options.pid);
    }

    std::printf("remote abuse (%s form) against %s, %s:%u%s\n", options.longForm ? "long" : "short",
                options.self ? "the native in-process server" : "an outside server",
                options.target.host.c_str(), unsigned(options.target.port),
                options.pid > 0 ? (", pid " + std::to_string(options.pid)).c_str() : "");
    std::printf("| scenario | load | result | seconds | fds | threads | detail |\n");
    std::printf("|---|---:|---|---:|---|---|---|\n");
    int failed = 0;
    for (const std::string& name : options.scenarios) {
        const Scenario* scenario = nullptr;
        for (const Scenario& known : kScenarios) {
            if (name == known.name) {
                scenario = &known;
            }
        }
        if (scenario == nullptr) {
            std::fprintf(stderr, "remote-abuse: no scenario %s\n", name.c_str());
            PrintUsage();
            return 2;
        }
        Clock::time_point start = Clock::now();
        AbuseOutcome outcome = scenario->run(options.target, options.longForm);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (outcome.ok && !ServerAnswers(options.target)) {
            outcome.ok = false;
            outcome.detail += "; afterwards the server did not answer";
        }
        ProcessCounts after = baseline;
        if (options.pid > 0) {
            after = SettleCounts(options.pid, baseline, options.settleMs);
            if (after.fds > baseline.fds || after.tasks > baseline.tasks) {
                outcome.ok = false;
                outcome.detail += "; descriptors or threads did not come back";
            }
        }
        failed += outcome.ok ? 0 : 1;
        std::printf("| %s | %ld | %s | %.2f | %s | %s | %s |\n", scenario->name, outcome.load,
                    outcome.ok ? "ok" : "FAILED", seconds,
                    CountsText(baseline.fds, after.fds).c_str(),
                    CountsText(baseline.tasks, after.tasks).c_str(), outcome.detail.c_str());
        std::fflush(stdout);
    }
    if (server) {
        size_t boxes = RecordedErrorBoxes().size();
        if (boxes > 0) {
            ++failed;
            std::printf("error boxes raised by the server: %zu (first: %s / %s)\n", boxes,
                        RecordedErrorBoxes()[0].caption.c_str(),
                        RecordedErrorBoxes()[0].text.c_str());
        }
        server->Stop();
    }
    std::printf("%d of %zu scenarios failed\n", failed, options.scenarios.size());
    return failed == 0 ? 0 : 1;
}
