// The magazine table: what the last scan found in each of the 100 slots.
#pragma once

#include <cstdint>
#include <memory>

#include "base/changer_facts.h"
#include "changer/min_sec.h"

const uint16_t SLOT_PRESENT = 1;

struct TrackEntry {
    uint16_t wReserved = 0;  // cleared when filled; never read
    MinSec timeStart;
    MinSec timeLength;  // end - start
};

struct DiscSlot {
    uint16_t wFirstTrack = 0;
    uint16_t wTrackCount = 0;
    MinSec timeDisc;
    uint16_t wFlags = 0;                    // SLOT_PRESENT: a disc is in the slot
    char szDiscId[kDiscIdLength + 1] = {};  // as the scan read it; empty for no disc
    std::unique_ptr<TrackEntry[]> pTracks;  // wTrackCount entries; track wFirstTrack + j
};

// Slot n (1..100) is element n - 1. Written only by the magazine scan, which
// holds g_hComMutex while it does; every reader on another thread takes
// g_hComMutex too, so nobody sees a slot half written. The track arrays are
// read on the window thread only.
extern DiscSlot g_slots[kSlotCount];
