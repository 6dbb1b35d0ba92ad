// Milliseconds on a steady clock, and a deadline over such a clock. The
// clock is a plain function so tests can put their own in its place.
#pragma once

#include <cstdint>

using MsClock = int64_t (*)();

// Milliseconds on std::chrono::steady_clock.
int64_t SteadyClockMs();

// A point limitMs after construction on clock.
class Deadline {
public:
    explicit Deadline(int64_t limitMs, MsClock clock = SteadyClockMs)
        : clock_(clock), atMs_(clock() + limitMs) {}

    // Milliseconds left, clamped to 0..INT32_MAX: what a wait takes.
    int LeftMs() const {
        int64_t left = atMs_ - clock_();
        if (left <= 0) {
            return 0;
        }
        return left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
    }

    bool Passed() const { return LeftMs() == 0; }

private:
    MsClock clock_;
    int64_t atMs_;
};
