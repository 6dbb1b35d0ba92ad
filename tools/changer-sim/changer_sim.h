// The simulated changer on a pseudo-terminal. One serving thread reads
// command frames from the pty master and answers them; the controller (or a
// test, through OpenPosixSerialLine) opens the slave as its serial port.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tools/changer-sim/sim_changer.h"
#include "tools/changer-sim/sim_frame.h"
#include "tools/changer-sim/sim_magazine.h"

// Misbehaviour of the changer, switchable while it runs.
enum class SimFault {
    None,
    Silent,       // frames are logged, neither carried out nor answered
    Garbage,      // not carried out; random non-digit bytes instead, some ending in ETX
    Overlong,     // carried out; the reply's header, then filler to 60 bytes, no ETX
    Late,         // the proper reply, after a delay
    LoaderError,  // every LOAD fails with 01 and status "LE"
};

// One frame received, as the log keeps it.
struct SimFrameRecord {
    double time = 0;        // seconds since Start, monotonic clock
    bool bad = false;       // malformed: never answered
    int command = -1;       // -1 for a bad frame
    std::string argument;   // a bad frame's raw bytes
    bool answered = false;  // every byte of the reply has been written
    std::string reply;      // the bytes written in answer
};

struct ChangerSimOptions {
    SimMagazine magazine = DemoMagazine();
    double speed = 1.0;        // simulated seconds per real second
    bool manualClock = false;  // simulated time moves only by AdvanceTime
    int baud = 0;              // above 0: replies paced as on a line of this rate
    int loadDelayMs = 0;       // mechanical time of every LOAD
    std::string linkPath;      // when set, a symlink to the slave is made here
    std::string logPath;       // when set, one line per frame, flushed per line
    unsigned garbageSeed = 1;  // for the garbage fault's bytes
};

class ChangerSim {
public:
    explicit ChangerSim(ChangerSimOptions options = ChangerSimOptions());
    ~ChangerSim();  // Stop()
    ChangerSim(const ChangerSim&) = delete;
    ChangerSim& operator=(const ChangerSim&) = delete;

    // Opens a new pty and starts serving. Once per object. On failure returns
    // false with the reason in error (when given).
    bool Start(std::string* error = nullptr);
    // Ends the serving thread, closes the pty, removes the symlink. Safe to
    // call more than once and without Start.
    void Stop();

    // The pty slave, e.g. "/dev/pts/7"; empty before Start.
    const std::string& SlavePath() const { return slavePath_; }

    void SetFault(SimFault fault, int lateMs = 0);
    void SetSpeed(double speed);
    // Moves simulated time on (the only way it moves with manualClock).
    void AdvanceTime(double seconds);
    void RemoveDisc(int slot);
    void InsertDisc(int slot, const SimDisc& disc);

    // The 20 status payload bytes as the changer would report them now.
    std::string StatusPayload();

    // A copy of the frame log.
    std::vector<SimFrameRecord> Frames() const;
    using FramePredicate = std::function<bool(const std::vector<SimFrameRecord>&)>;
    // Waits until done holds over the log (checked on every change) or
    // limitMs passes; returns whether it holds.
    bool WaitForFrames(const FramePredicate& done, int limitMs = 10000) const;
    // Waits until bytes the changer wrote are readable at the slave side.
    bool WaitForSlaveInput(int limitMs = 10000) const;

private:
    using Clock = std::chrono::steady_clock;

    void Serve();
    void HandleFrame(const SimCommandFrame& frame);
    std::string GarbageBytes();
    void LogFrameLocked(const SimFrameRecord& record, const std::string& raw);
    void SyncClockLocked();
    int64_t SimulatedNowMsLocked() const;
    // Sleeps until the given time; false when Stop came first.
    bool SleepUntil(Clock::time_point until);
    bool WriteAll(const std::string& bytes);
    bool WritePaced(const std::string& bytes, Clock::time_point start);
    void CloseAll();

    ChangerSimOptions options_;
    std::string slavePath_;
    int masterFd_ = -1;
    int slaveFd_ = -1;  // held for the whole run so the pty never hangs up
    int wakeFds_[2] = {-1, -1};
    std::FILE* logFile_ = nullptr;
    bool linkMade_ = false;
    std::thread thread_;
    std::mt19937 garbageRandom_;  // serving thread only

    mutable std::mutex mutex_;  // everything below
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    SimChanger changer_;
    SimFault fault_ = SimFault::None;
    int lateMs_ = 0;
    double speed_;
    Clock::time_point startTime_;
    Clock::time_point realAnchor_;
    int64_t simulatedAnchorMs_ = 0;  // simulated time at realAnchor_
    int64_t manualMs_ = 0;
    int64_t changerMs_ = 0;  // simulated time the changer has been run to
    std::vector<SimFrameRecord> frames_;
};
