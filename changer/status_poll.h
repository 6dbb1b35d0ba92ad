// The status poll, the status values it keeps and the play modes.
//
// Status reply of CMD_STATUS (offsets from the reply's first byte):
//   7-8 status code, 9 autopause ("S" = on), 11-12 disc ("00" = slot 100),
//   13-14 track, 15-16 index, 17-20 track time MMSS, 23-26 disc time MMSS.
#pragma once

#include <atomic>
#include <mutex>

#include "changer/min_sec.h"
#include "platform/window_hooks.h"

enum PlayMode {
    ModePlay = 0,
    ModePause = 1,
    ModeStop = 2,
    ModeUnloaded = 3,
    ModeShuffle = 4,    // playing the shuffled playlist
    ModeWholeDisc = 5,  // playing one whole disc, then back to the playlist
};

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
    StatusStopNoToc = 3,
    StatusStopError = 4,
    StatusStopEndOfDisc = 5,
    StatusPlay = 7,
    StatusPauseAutopause = 11,
    StatusPauseEndOfDisc = 12,
};

// Guards the status values below. Written by the poll thread, read by the
// painter. Taken before g_hPlaylistMutex and g_hComMutex.
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

// One poll: sends CMD_STATUS, stores what the reply says under
// g_hStatusMutex and applies the poll's mode transitions. A reply that did
// not arrive whole (no ETX, or ETX before byte 27) sets the status row to 0
// and changes nothing else.
void PollStatusOnce();

// The poll thread: PollStatusOnce, repaint request for window, 1200 ms
// sleep, forever.
void PollStatusThread(WindowHandle window);
