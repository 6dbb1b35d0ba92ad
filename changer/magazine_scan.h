// The magazine scan, and the filling of the disc and track lists.
#pragma once

#include "changer/list_control.h"
#include "changer/magazine.h"

// What the scan asks of its caller between two slots. The window keeps
// itself alive here (paints, watches for Exit); callers without a window
// use this base, which always goes on.
class ScanProgress {
public:
    virtual ~ScanProgress() = default;
    // Called after each slot but the last, with g_hComMutex held. False
    // ends the scan there.
    virtual bool ContinueAfterSlot() { return true; }
};

enum ScanEnd {
    ScanCompleted,        // all 100 slots were scanned
    ScanStoppedByCaller,  // ContinueAfterSlot said no
    ScanChangerSilent,    // two slots in a row got no reply byte at all
    ScanRefused,          // the range was outside 1..100 or reversed: nothing sent
};

// Two slots in a row that get no reply byte stop the scan.
const int kSilentSlotsToStop = 2;

struct ScanResult {
    ScanEnd end = ScanCompleted;
    int lastSlot = 0;  // the last slot scanned, 1..100
};

// Whether firstSlot..lastSlot lies within 1..100, first not after last.
bool ScanRangeIsValid(int firstSlot, int lastSlot);

// Loads the slots firstSlot..lastSlot in turn under one hold of g_hComMutex,
// fills g_slots and the disc list (artist and title from the catalogue), and
// shows each scanned slot's tracks in the track list. The whole magazine
// (1..100) starts from an empty list; a whole scan that ends early shows the
// remaining rows as "no disc" and marks their slots empty. A range rewrites
// only its own rows and slots and leaves the others, reached or not, as they
// were. A range outside 1..100 or reversed is refused: no command is sent.
ScanResult ScanMagazine(ListControl& discList, ListControl& trackList, ScanProgress& progress,
                        int firstSlot = 1, int lastSlot = kSlotCount);

// For one loaded disc outside a scan; the caller holds g_hComMutex. The
// identifier as the scan reads it (id holds kDiscIdLength + 1 bytes), and
// the table of contents and track times into slot. ReadLoadedDiscId says
// whether the reply reached the identifier.
bool ReadLoadedDiscId(char* id);
void ReadLoadedDiscContents(DiscSlot& slot);

// Refills the track list with the tracks of disc-list row `row` (slot row+1);
// empties it for a row outside 0..99 or an empty slot.
void ShowTrackList(ListControl& trackList, int row);

// Lowest selected row, or -1 when none is selected.
int GetSelectedRow(ListControl& list);
