// One copy of the status values the panel and the remote status reply
// show, taken under the locks their writers hold.
#pragma once

#include <cstdint>

#include "changer/min_sec.h"
#include "changer/playlist.h"

struct StatusSnapshot {
    int disc = 0;
    int track = 0;
    int index = 0;
    MinSec timeTrack;
    MinSec timeDisc;
    int autopause = 0;
    int row = 0;  // row of g_statusCodes, always 0..kStatusCodeCount - 1
    int answered = 0;
    int32_t sinceAnswerMs = -1;  // MsSinceStatusAnswer
};

// Copies the status values under g_hStatusMutex, which the poll holds only
// while it stores; a row out of range reads as StatusNone.
StatusSnapshot ReadStatusSnapshot();

// The playlist entry that plays next: nullptr before the first build or
// when the position names no entry. Caller holds g_hPlaylistMutex.
const PlaylistEntry* NextPlaylistEntry();
