// A stand-in for the controller's remote port on 127.0.0.1, for zubweb's
// benchmarks: it answers the status ('6'), catalogue line ('5') and
// magazine ('7') requests the way the program does between its own polls
// of the changer. The changer is polled every periodMs from a phase, each
// reply a few milliseconds late or early; a new disc and track become
// visible at the next poll, as the program's status shows them only after
// it polled.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

// The spread of the changer's reply time from poll to poll, in ms.
const int kJitterSteps = 20;

class FakeController {
public:
    using Clock = std::chrono::steady_clock;

    FakeController(int periodMs, Clock::time_point phase);

    // Listens on a free loopback port; 0 on failure.
    uint16_t Start();

    // Plays disc and track from the next poll on; returns that poll's time.
    Clock::time_point PlayAtNextPoll(int32_t disc, int32_t track);

private:
    void Accept(int listening);
    void Serve(int fd);
    Clock::time_point PollTime(int64_t n) const;
    Clock::time_point LastPoll(Clock::time_point now) const;
    Clock::time_point NextPoll(Clock::time_point now) const;

    const Clock::duration period_;
    const Clock::time_point phase_;
    std::mutex mutex_;  // the play state below
    int32_t disc_ = 1;
    int32_t track_ = 1;
    int32_t nextDisc_ = 1;
    int32_t nextTrack_ = 1;
    Clock::time_point nextFrom_;  // when nextDisc_/nextTrack_ become visible
};
