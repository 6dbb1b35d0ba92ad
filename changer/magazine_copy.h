// A copy of the magazine table that readers on other threads take without
// waiting for the serial line, and the progress of a running scan. The scan
// holds g_hComMutex for minutes; it brings this copy up to date after each
// slot, so a reader sees the rows read so far.
#pragma once

#include <cstdint>

#include "changer/magazine.h"
#include "changer/min_sec.h"

// One slot as the copy keeps it: everything but the track array.
struct MagazineCopyRow {
    bool present = false;
    char szDiscId[kDiscIdLength + 1] = {};
    uint16_t wFirstTrack = 0;
    uint16_t wTrackCount = 0;
    MinSec timeDisc;
};

// What a reader gets: the table and the scan's progress, taken together.
struct MagazineCopy {
    MagazineCopyRow rows[kSlotCount];  // slot n is element n - 1
    bool scanning = false;             // a scan runs
    int scanSlot = 0;                  // slot being scanned; after a scan its last; 0 before
    int scanLastSlot = 0;              // the slot a running scan ends at; 0 before any scan
    uint32_t generation = 0;           // changes whenever a row changes
};

// Writers: the scan (window thread) only, while it holds g_hComMutex, and
// test set-up. The copy has a lock of its own, a leaf held only while
// copying, never across a line exchange.

// A scan of firstSlot..lastSlot starts: the rows of that range empty (the
// others keep theirs), scanning is set, the slot is firstSlot.
void BeginMagazineCopy(int firstSlot, int lastSlot);

// The scan has read slotNumber (1..100) into g_slots: copies it. The caller
// holds g_hComMutex (the scan).
void PublishMagazineSlot(int slotNumber);

// The scan has ended at lastScanned: copies every slot of g_slots once more
// (the slots it did not reach were cleared) and clears the flag. The caller
// holds g_hComMutex.
void EndMagazineCopy(int lastScanned);

// Copies every slot of g_slots without touching the scan's progress; for
// writers of g_slots other than the scan (tests). Caller holds g_hComMutex.
void PublishWholeMagazine();

// A slot's artist or title changed in the catalogue: the magazine reply
// reads differently, so the generation moves on (the rows stay).
void MarkMagazineNamesChanged();

// The copy as it stands: never waits for the serial line.
void ReadMagazineCopy(MagazineCopy* copy);

// Back to the state at start-up: no rows, no scan, generation 0.
void ResetMagazineCopy();
