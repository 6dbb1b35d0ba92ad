// The rule that tells when a track counts as played.
#include "changer/play_count.h"

#include <algorithm>

namespace {

// The reported position has whole seconds: a poll interval may see up to
// this much more time pass than the position shows.
const int64_t kPositionRoundingMs = 1000;

}  // namespace

bool PlayCounter::SamePlay(const PlayObservation& seen) const {
    return open_ && seen.disc == play_.disc && seen.discId == play_.discId &&
           seen.track == play_.track && seen.positionSeconds >= lastPositionSeconds_;
}

void PlayCounter::Start(const PlayObservation& seen, int64_t nowMs) {
    open_ = true;
    play_ = seen;
    lastPositionSeconds_ = seen.positionSeconds;
    lastMs_ = nowMs;
    lastPlaying_ = true;
    playedMs_ = 0;
    counted_ = false;
}

bool PlayCounter::Count(CountedPlay* counted) {
    if (counted_ || play_.discId.empty()) {
        return false;
    }
    counted_ = true;
    counted->discId = play_.discId;
    counted->track = play_.track;
    return true;
}

bool PlayCounter::Observe(const PlayObservation& seen, int64_t nowMs, CountedPlay* counted) {
    switch (seen.state) {
        case PlayState::Unknown:
            return false;
        case PlayState::Playing: {
            if (!SamePlay(seen)) {
                // Another track, or this one from an earlier point: the last
                // play ended here if its last answer was close to its end.
                bool ended = open_ && lastPlaying_ && play_.lengthSeconds > 0 &&
                             lastPositionSeconds_ >= play_.lengthSeconds - kTrackEndSlackSeconds;
                bool result = ended && Count(counted);
                Start(seen, nowMs);
                return result;
            }
            if (lastPlaying_) {
                // Clock time, but never more than the position moved: a
                // poll held up while the changer did something else adds
                // no more than was played.
                int64_t moved = (seen.positionSeconds - lastPositionSeconds_) * int64_t{1000};
                playedMs_ +=
                    std::max<int64_t>(0, std::min(nowMs - lastMs_, moved + kPositionRoundingMs));
            }
            lastPositionSeconds_ = seen.positionSeconds;
            lastMs_ = nowMs;
            lastPlaying_ = true;
            return play_.lengthSeconds > 0 &&
                   playedMs_ * 2 >= play_.lengthSeconds * int64_t{1000} && Count(counted);
        }
        case PlayState::Paused:
        case PlayState::Winding:
            lastMs_ = nowMs;
            lastPlaying_ = false;
            return false;
        case PlayState::Ended: {
            bool result = open_ && lastPlaying_ && Count(counted);
            open_ = false;
            lastPlaying_ = false;
            return result;
        }
        case PlayState::Stopped:
        default:
            open_ = false;
            lastPlaying_ = false;
            return false;
    }
}
