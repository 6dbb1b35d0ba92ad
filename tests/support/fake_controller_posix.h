// A stand-in for the controller's remote port on 127.0.0.1, for zubweb's
// tests and benchmarks: it answers the status ('6'), catalogue line ('5')
// and magazine ('7') requests the way the program does between its own
// polls of the changer, and logs every other request. Given discs, it
// answers the tracks ('>') and history ('@') queries from them and keeps
// the names the text requests set. The changer is
// polled every periodMs from a phase, each reply a few milliseconds late or
// early; a new disc and track become visible at the next poll, as the
// program's status shows them only after it polled.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The spread of the changer's reply time from poll to poll, in ms.
const int kJitterSteps = 20;

struct FakeTrack {
    std::string title;
    std::string style;
    int32_t plays = 0;
};

// A disc in a slot: tracks 1..tracks.size().
struct FakeDisc {
    int32_t slot = 0;
    std::string artist;
    std::string title;
    std::string style;
    std::vector<FakeTrack> tracks;
};

class FakeController {
public:
    using Clock = std::chrono::steady_clock;

    FakeController(int periodMs, Clock::time_point phase);
    ~FakeController();  // Stop()
    FakeController(const FakeController&) = delete;
    FakeController& operator=(const FakeController&) = delete;

    // Listens on a free loopback port; 0 on failure.
    uint16_t Start();

    // Closes the port and every connection, and waits for their threads.
    void Stop();

    // Plays disc and track from the next poll on; returns that poll's time.
    Clock::time_point PlayAtNextPoll(int32_t disc, int32_t track);

    // The requests other than '5', '6' and '7' so far.
    std::vector<int32_t> Commands();

    // Waits at most limitMs until count such requests have come.
    bool WaitForCommands(size_t count, int limitMs);

    // The magazine: these discs, their names and tracks.
    void SetDiscs(std::vector<FakeDisc> discs);
    std::vector<FakeDisc> Discs();
    // The texts of the text requests so far.
    std::vector<std::string> Texts();

private:
    void Accept();
    void Serve(int fd);
    bool Answer(int fd, const unsigned char* request, int32_t command);
    bool AnswerNames(int fd, const unsigned char* request, int32_t command);
    Clock::time_point PollTime(int64_t n) const;
    Clock::time_point LastPoll(Clock::time_point now) const;
    Clock::time_point NextPoll(Clock::time_point now) const;

    const Clock::duration period_;
    const Clock::time_point phase_;
    std::mutex mutex_;  // everything below
    std::condition_variable commanded_;
    int32_t disc_ = 1;
    int32_t track_ = 1;
    int32_t nextDisc_ = 1;
    int32_t nextTrack_ = 1;
    Clock::time_point nextFrom_;  // when nextDisc_/nextTrack_ become visible
    std::vector<int32_t> commands_;
    std::vector<FakeDisc> discs_;
    std::vector<std::string> texts_;
    bool stopping_ = false;
    int listening_ = -1;
    std::vector<int> connections_;
    std::thread acceptThread_;
    std::vector<std::thread> serveThreads_;
};
