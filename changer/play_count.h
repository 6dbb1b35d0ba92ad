// When a track counts as played, from what the status poll sees: a play
// counts once, when the changer reports the end of the track (or the next
// track starting right after its end), or once the track has played for at
// least half its length. Time spent paused, winding or between answers
// that say nothing is not play; a track left early does not count; the
// same track started again is a new play.
#pragma once

#include <cstdint>
#include <string>

enum class PlayState {
    Unknown,  // no whole answer: nothing is learnt from it
    Playing,
    Paused,   // by command: the play goes on afterwards
    Winding,  // fast forward or reverse
    Ended,    // paused or stopped at the end of the track or disc
    Stopped,  // by command, error, no disc: the play is over
};

// What one poll sees.
struct PlayObservation {
    PlayState state = PlayState::Unknown;
    int disc = 0;        // slot as reported
    std::string discId;  // of the disc in that slot; "" when unknown
    int track = 0;
    int positionSeconds = 0;  // into the track
    int lengthSeconds = 0;    // of the track; 0 when unknown (never counts by time)
};

struct CountedPlay {
    std::string discId;
    int track = 0;
};

// How far before a track's end the last play answer may have been for the
// next track's start to mean the track ended: one poll period and the
// rounding of the reported seconds.
const int kTrackEndSlackSeconds = 3;

class PlayCounter {
public:
    // One poll's observation at nowMs (a steady clock). True, with the play
    // in *counted, when a play counts with it.
    bool Observe(const PlayObservation& seen, int64_t nowMs, CountedPlay* counted);

private:
    bool SamePlay(const PlayObservation& seen) const;
    void Start(const PlayObservation& seen, int64_t nowMs);
    bool Count(CountedPlay* counted);

    bool open_ = false;  // a play is under way
    PlayObservation play_;
    int lastPositionSeconds_ = 0;  // at the last playing or paused answer
    int64_t lastMs_ = 0;
    bool lastPlaying_ = false;  // the last answer that said anything said play
    int64_t playedMs_ = 0;
    bool counted_ = false;
};
