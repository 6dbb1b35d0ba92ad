// What the simulated changer does with a command, and its play clock. No I/O
// and no clock of its own: time moves only through Advance.
#pragma once

#include <cstdint>
#include <string>

#include "tools/changer-sim/sim_magazine.h"

// Command codes on the line.
enum SimCommand {
    SimLoad = 1,
    SimStop = 2,
    SimUnload = 3,
    SimTrack = 4,
    SimAutopauseOn = 7,
    SimAutopauseOff = 8,
    SimPause = 9,
    SimPlay = 10,
    SimDiscId = 13,
    SimToc = 15,
    SimStatus = 16,
    SimTrackInfo = 17,
};

// Result codes of a reply.
enum SimResult {
    SimOk = 0,
    SimEmptySlot = 1,    // LOAD of an empty slot, or the loader failed
    SimNeedsDisc = 2,    // the command needs a loaded disc
    SimBadArgument = 3,  // track out of range, malformed "Ann"
    SimUnknownCode = 99,
};

// The two-character status codes, in the order the changer may report them.
enum class SimState {
    NoDisc,          // "LN"
    LoaderError,     // "LE"
    StopNoToc,       // "SN" right after LOAD
    StopError,       // "SE"
    StopEndOfDisc,   // "SD" ran off the last track without autopause
    Stopped,         // "ST" by command, or once the TOC was read
    Playing,         // "PL"
    Paused,          // "PA" by command
    PausedTrackEnd,  // "PT" autopause at a track end
    PausedDiscEnd,   // "PD" autopause at the end of the last track
};

const char* SimStateCode(SimState state);

struct SimReply {
    int result = SimOk;
    std::string payload;  // bytes after the result code, before ETX
};

class SimChanger {
public:
    explicit SimChanger(SimMagazine magazine);

    // Carries out one command and says what to reply.
    SimReply Execute(int command, const std::string& argument);

    // Runs the play clock on by the given simulated time.
    void Advance(int64_t milliseconds);

    // While set, every LOAD fails with result 01 and leaves status "LE".
    void SetLoaderError(bool on) { loaderError_ = on; }

    // Changes to the magazine. A loaded disc stays in the player.
    void RemoveDisc(int slot) { magazine_.erase(slot); }
    void InsertDisc(int slot, const SimDisc& disc) { magazine_[slot] = disc; }
    const SimMagazine& Magazine() const { return magazine_; }

    SimState State() const { return state_; }
    int LoadedSlot() const { return loadedSlot_; }  // 0 when none
    int CurrentTrack() const { return track_; }
    bool Autopause() const { return autopause_; }
    // Position on the disc, milliseconds from its start.
    int64_t PositionMs() const { return positionMs_; }

    // The 20 payload bytes of the STATUS reply.
    std::string StatusPayload() const;

private:
    SimReply Load(const std::string& argument);
    SimReply SelectTrack(const std::string& argument);
    SimReply Pause();
    SimReply Play();
    SimReply TrackInfo(const std::string& argument);
    void MoveTo(int track);
    int64_t TrackStartMs(int track) const;
    int64_t TrackEndMs(int track) const;

    SimMagazine magazine_;
    SimDisc disc_;  // the disc in the player, when loadedSlot_ != 0
    int loadedSlot_ = 0;
    int lastSlot_ = 1;  // reported when no disc is loaded
    SimState state_ = SimState::NoDisc;
    bool autopause_ = false;
    bool loaderError_ = false;
    int selectedTrack_ = 0;  // where PLAY from a stop starts
    int track_ = 0;          // the track the position is in
    int64_t positionMs_ = 0;
};
