// Whether the changer answers the status poll, and since when. Kept by the
// poll under g_hStatusMutex; read under it by the remote status record.
#pragma once

#include <cstdint>

#include "base/deadline.h"

// Milliseconds on a steady clock. Tests put their own clock here while no
// poll runs.
using StatusClock = MsClock;
extern StatusClock g_statusClock;

// 1 when the last poll got a whole status reply, else 0 (also before the
// first poll).
extern int g_bStatusAnswered;

// g_statusClock time of the last whole reply; -1 before the first.
extern int64_t g_nLastAnswerMs;

// Records one poll's outcome. Caller holds g_hStatusMutex.
void NoteStatusAnswer(bool whole);

// Milliseconds since the last whole reply, at most INT32_MAX; -1 before the
// first. Caller holds g_hStatusMutex.
int32_t MsSinceStatusAnswer();
