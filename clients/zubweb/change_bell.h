// A counter that several status threads bump and one event stream waits on:
// the stream that serves every changer wakes at the first change of any.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class ChangeBell {
public:
    void Ring() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++rings_;
        rung_.notify_all();
    }

    uint64_t Rings() {
        std::lock_guard<std::mutex> lock(mutex_);
        return rings_;
    }

    // Waits until the count differs from seen, at most limitMs. True when it did.
    bool WaitForRing(uint64_t seen, int limitMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return rung_.wait_for(lock, std::chrono::milliseconds(limitMs),
                              [&] { return rings_ != seen; });
    }

private:
    std::mutex mutex_;
    std::condition_variable rung_;
    uint64_t rings_ = 0;
};
