// The status poll: reads the changer's status, keeps the status values and
// drives the automatic play-mode transitions.
#include "changer/status_poll.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "changer/status_answer.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"

std::atomic<int> g_nMode{0};

const StatusCode g_statusCodes[kStatusCodeCount] = {
    {"  ", "(none)"},
    {"LN", "no CD in loader"},
    {"LE", "loader error"},
    {"SN", "stop, no TOC read"},
    {"SE", "stop due to error"},
    {"SD", "stop due to end of disc"},
    {"ST", "stop due to command"},
    {"PL", "play"},
    {"PF", "play fast forward"},
    {"PR", "play fast reverse"},
    {"PA", "pause due to command"},
    {"PT", "pause due to autopause"},
    {"PD", "pause due to autopause, end of disc"},
};

std::recursive_mutex g_hStatusMutex;
std::atomic<int> g_nDisc{0};
std::atomic<int> g_nTrack{0};
int g_nIndex = 0;
MinSec g_timeDisc;
MinSec g_timeTrack;
int g_bAutopause = 0;
int g_nStatus = 0;

int64_t WallClockSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

WallClock g_playedAtClock = WallClockSeconds;

namespace {

// Byte offsets in the status reply; the last field ends before kStatusEnd.
const int kCodeAt = 7;
const int kAutopauseAt = 9;
const int kDiscAt = 11;
const int kTrackAt = 13;
const int kIndexAt = 15;
const int kTrackTimeAt = 17;
const int kDiscTimeAt = 23;
const int kStatusEnd = 27;

// The shuffled track has ended, or nothing plays that could end: no disc in
// the player (a changer switched off and on) or a loader error (which stays
// until the next load, also once the loader works again). Without the last
// two the player would wait for a track end that never comes. A loader that
// keeps failing costs one load per disc of the list per poll.
bool EndsShuffledTrack(int row) {
    return row == StatusStopNoToc || row == StatusStopError || row == StatusStopEndOfDisc ||
           row == StatusPauseAutopause || row == StatusPauseEndOfDisc || row == StatusNoDisc ||
           row == StatusLoaderError;
}

// Whole-disc play ends once the changer reports the track one past the
// disc's last. An empty slot has no last track (its old first track and
// count are meaningless). The table is read under the serial lock, as the
// scan writes it.
bool IsPastLastTrack(int disc, int track) {
    if (disc < 1 || disc > kSlotCount) {
        return false;
    }
    std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
    const DiscSlot& slot = g_slots[disc - 1];
    return (slot.wFlags & SLOT_PRESENT) != 0 && track == slot.wFirstTrack + slot.wTrackCount;
}

// The play under way, as the poll sees it. Guarded by g_hStatusMutex.
PlayCounter playCounter;

PlayState StateOfRow(int row) {
    switch (row) {
        case StatusPlay:
            return PlayState::Playing;
        case StatusPauseCommand:
            return PlayState::Paused;
        case StatusFastForward:
        case StatusFastReverse:
            return PlayState::Winding;
        case StatusStopEndOfDisc:
        case StatusPauseAutopause:
        case StatusPauseEndOfDisc:
            return PlayState::Ended;
        case StatusNone:
            return PlayState::Unknown;
        default:
            return PlayState::Stopped;
    }
}

// Keeps what the reply says in the status values. Caller holds g_hStatusMutex.
void StoreStatus(const StatusReplyFields& status) {
    // Without a whole reply the fields would be stale or missing bytes: say
    // so in the status line and leave everything else.
    NoteStatusAnswer(status.whole);
    if (!status.whole) {
        g_nStatus = StatusNone;
        return;
    }
    g_timeTrack = status.timeTrack;
    g_timeDisc = status.timeDisc;
    g_nDisc = status.disc;
    g_nTrack = status.track;
    g_nIndex = status.index;
    g_bAutopause = status.autopause;
    g_nStatus = status.row;
}

bool IsTwoDigits(const char* bytes) {
    return bytes[0] >= '0' && bytes[0] <= '9' && bytes[1] >= '0' && bytes[1] <= '9';
}

int TwoDigitsOrZero(const char* bytes) {
    return IsTwoDigits(bytes) ? DecimalField(bytes) : 0;
}

}  // namespace

int FindStatusRow(const char* code) {
    for (int row = 0; row < kStatusCodeCount; ++row) {
        if (code[0] == g_statusCodes[row].code[0] && code[1] == g_statusCodes[row].code[1]) {
            return row;
        }
    }
    return StatusNone;
}

StatusReplyFields ParseStatusReply(const char* bytes, int length) {
    StatusReplyFields status;
    if (!ReplyEndsWithEtx(bytes, length) || length - 1 < kStatusEnd) {
        return status;
    }
    status.whole = true;
    status.row = FindStatusRow(bytes + kCodeAt);
    status.autopause = bytes[kAutopauseAt] == 'S' ? 1 : 0;
    // A number field that is not two digits (a reply mixed with line noise)
    // reads as 0, "not reported", rather than as a disc such as 607.
    int disc = TwoDigitsOrZero(bytes + kDiscAt);
    status.disc = disc == 0 && IsTwoDigits(bytes + kDiscAt) ? 100 : disc;
    status.track = TwoDigitsOrZero(bytes + kTrackAt);
    status.index = TwoDigitsOrZero(bytes + kIndexAt);
    status.timeTrack.Parse(bytes + kTrackTimeAt);
    status.timeDisc.Parse(bytes + kDiscTimeAt);
    return status;
}

void ApplyPollTransitions(const StatusReplyFields& status) {
    if (!status.whole) {
        return;
    }
    int mode = g_nMode.load();
    if (mode == ModeShuffle) {
        if (EndsShuffledTrack(status.row)) {
            PlayNextEntry();
        }
    } else if (mode == ModeWholeDisc) {
        if (status.row != StatusPlay) {
            g_nMode = ModeShuffle;
            PlayNextEntry();
        } else if (IsPastLastTrack(status.disc, status.track)) {
            ChangerTransactLocked(CMD_AUTOPAUSE_ON, "", nullptr);
            g_nMode = ModeShuffle;
        }
    }
}

PlayObservation ObservePlay(const StatusReplyFields& status) {
    PlayObservation seen;
    seen.state = status.whole ? StateOfRow(status.row) : PlayState::Unknown;
    seen.disc = status.disc;
    seen.track = status.track;
    seen.positionSeconds = status.timeTrack.bMinutes * 60 + status.timeTrack.bSeconds;
    if (status.disc < 1 || status.disc > kSlotCount) {
        return seen;
    }
    const DiscSlot& slot = g_slots[status.disc - 1];
    if ((slot.wFlags & SLOT_PRESENT) == 0) {
        return seen;
    }
    seen.discId = slot.szDiscId;
    int at = status.track - slot.wFirstTrack;
    if (slot.pTracks && at >= 0 && at < slot.wTrackCount) {
        const MinSec& length = slot.pTracks[at].timeLength;
        seen.lengthSeconds = length.bMinutes * 60 + length.bSeconds;
    }
    return seen;
}

void ResetPlayCounter() {
    std::lock_guard<std::recursive_mutex> lock(g_hStatusMutex);
    playCounter = PlayCounter();
}

void PollStatusOnce() {
    char reply[kReplyBufferSize];
    int replyLength = 0;
    StatusReplyFields status;
    PlayObservation seen;
    {
        // The table is read in the same hold as the exchange: no wait of
        // its own.
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        ChangerTransact(CMD_STATUS, "", reply, &replyLength);
        status = ParseStatusReply(reply, replyLength);
        seen = ObservePlay(status);
    }
    CountedPlay counted;
    bool played;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hStatusMutex);
        StoreStatus(status);
        played = playCounter.Observe(seen, g_statusClock(), &counted);
    }
    if (played) {
        RecordPlay(counted.discId, counted.track, g_playedAtClock());
        RequestSlotRowRefresh(g_hWnd.load(), seen.disc);  // the track list's Played cell
    }
    ApplyPollTransitions(status);
}

void PollStatusThread(WindowHandle window, PollLoop loop) {
    while (!loop.stop || !loop.stop()) {
        PollStatusOnce();
        RequestStatusRepaint(window);
        if (loop.wait) {
            loop.wait(loop.periodMs);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(loop.periodMs));
        }
    }
}
