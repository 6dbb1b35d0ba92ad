// The status poll, the status values it keeps and the play modes.
//
// Status reply of CMD_STATUS (offsets from the reply's first byte):
//   7-8 status code, 9 autopause ("S" = on), 11-12 disc ("00" = slot 100),
//   13-14 track, 15-16 index, 17-20 track time MMSS, 23-26 disc time MMSS.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "base/changer_facts.h"
#include "changer/min_sec.h"
#include "changer/play_count.h"
#include "platform/window_hooks.h"

// What the controller believes the changer is doing. Written by start-up,
// the buttons (window thread), the remote sessions and the poll; no common
// lock: the last writer wins.
extern std::atomic<int> g_nMode;

struct StatusCode {
    char code[3];
    const char* text;
};

const int kStatusCodeCount = 13;
extern const StatusCode g_statusCodes[kStatusCodeCount];

// Rows of g_statusCodes the poll acts on.
enum StatusRow {
    StatusNone = 0,
    StatusNoDisc = 1,
    StatusLoaderError = 2,
    StatusStopNoToc = 3,
    StatusStopError = 4,
    StatusStopEndOfDisc = 5,
    StatusPlay = 7,
    StatusFastForward = 8,
    StatusFastReverse = 9,
    StatusPauseCommand = 10,
    StatusPauseAutopause = 11,
    StatusPauseEndOfDisc = 12,
};

// Guards the status values below. Written by the poll thread, read by the
// painter; held only while the values are copied, never across an exchange.
// Taken before g_hPlaylistMutex and g_hComMutex wherever two are held.
extern std::recursive_mutex g_hStatusMutex;

// Disc and track are also read by the remote sessions without the lock,
// hence atomic; each is written whole.
extern std::atomic<int> g_nDisc;  // 1..100 as reported
extern std::atomic<int> g_nTrack;
extern int g_nIndex;
extern MinSec g_timeDisc;
extern MinSec g_timeTrack;
extern int g_bAutopause;  // 1 when the changer reports autopause on
extern int g_nStatus;     // row of g_statusCodes, 0..12

// Row of g_statusCodes for a two-character code; 0 when none matches.
int FindStatusRow(const char* code);

// What one status reply says. Only a whole reply (ETX at byte 27 or later)
// carries fields; any other leaves them zero and row 0.
struct StatusReplyFields {
    bool whole = false;
    int row = StatusNone;  // row of g_statusCodes, 0 when no code matches
    int disc = 0;          // "00" is slot 100; non-digits give other numbers
    int track = 0;
    int index = 0;
    MinSec timeTrack;
    MinSec timeDisc;
    int autopause = 0;  // 1 when byte 9 is "S"
};

// Reads the stored reply bytes (length as ChangerTransact stored them).
StatusReplyFields ParseStatusReply(const char* bytes, int length);

// The poll's own play-mode transitions for a reply: in ModeShuffle a track
// or disc end plays the next entry; ModeWholeDisc goes back to the shuffle,
// playing the next entry unless the disc is still playing past its last
// track (then autopause is switched on). Nothing for a reply not whole or in
// other modes. Sends through the serial lock: the caller holds neither
// g_hStatusMutex nor g_hPlaylistMutex, so the painter never waits on it.
void ApplyPollTransitions(const StatusReplyFields& status);

// What a reply says of the play, with the disc identifier and the track's
// length from the magazine table. Caller holds g_hComMutex.
PlayObservation ObservePlay(const StatusReplyFields& status);

// Seconds since 1970, UTC: the time a counted play is recorded with. Tests
// put their own clock here while no poll runs.
using WallClock = int64_t (*)();
extern WallClock g_playedAtClock;
int64_t WallClockSeconds();

// Forgets the play under way (start of a test).
void ResetPlayCounter();

// One poll: sends CMD_STATUS, stores what the reply says under
// g_hStatusMutex (a reply not whole sets the status row to 0 and changes
// nothing else) and feeds the play counter (clock g_statusClock), releases
// it, records a counted play (RecordPlay, at g_playedAtClock) and asks the
// window to refresh its slot's rows, then applies the poll's transitions.
void PollStatusOnce();

// How the poll thread paces itself and when it ends; the defaults are the
// program's: kPollPeriodMs on the steady clock, forever.
struct PollLoop {
    int periodMs = kPollPeriodMs;
    // Waits ms milliseconds between two polls; empty: sleeps.
    std::function<void(int ms)> wait;
    // Asked before every poll; true ends the loop. Empty: never.
    std::function<bool()> stop;
};

// The poll thread: PollStatusOnce, repaint request for window, a wait of
// loop.periodMs, until loop.stop says so.
void PollStatusThread(WindowHandle window, PollLoop loop);
