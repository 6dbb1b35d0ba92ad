// The web benchmarks' shared parts.
#include "bench/web_bench.h"

#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

double Ms(BenchClock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(share * (values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

bool ParseTrials(int argc, char** argv, const char* usage, int* trials, bool* serve) {
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--trials" && i + 1 < argc && std::atoi(argv[i + 1]) >= 2) {
            *trials = std::atoi(argv[++i]);
        } else if (serve != nullptr && option == "--serve") {
            *serve = true;
        } else {
            std::fprintf(stderr, "%s\n", usage);
            return false;
        }
    }
    return true;
}

std::vector<WebRemote> LoopbackRemotes(const std::vector<uint16_t>& ports) {
    std::vector<WebRemote> remotes;
    for (uint16_t port : ports) {
        remotes.push_back({"", "127.0.0.1", port});
    }
    return remotes;
}

void EventLog::Add(const SeenEvent& seen) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(seen);
    changed_.notify_all();
}

bool EventLog::WaitFor(size_t from, const std::function<bool(const SeenEvent&)>& match,
                       BenchClock::time_point* at) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kEventLimitMs), [&] {
        for (size_t i = from; i < events_.size(); ++i) {
            if (match(events_[i])) {
                *at = events_[i].at;
                return true;
            }
        }
        return false;
    });
}

size_t EventLog::Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.size();
}

void ReadEvents(uint16_t port, std::string path, int readTimeoutSeconds, EventLog* log) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(readTimeoutSeconds, 0);
    std::string pending;
    client.Get(path, [&](const char* data, size_t length) {
        pending.append(data, length);
        size_t end;
        while ((end = pending.find("\n\n")) != std::string::npos) {
            std::string event = pending.substr(0, end);
            pending.erase(0, end + 2);
            if (event.compare(0, 6, "data: ") != 0) {
                continue;
            }
            auto status = nlohmann::json::parse(event.substr(6), nullptr, false);
            if (status.is_object() && status.value("reachable", false)) {
                log->Add({BenchClock::now(), status.value("changer", 0), status.value("disc", 0),
                          status.value("track", 0), status.value("code", std::string())});
            }
        }
        return true;
    });
}
