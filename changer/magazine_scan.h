// The magazine scan, and the filling of the disc and track lists.
#pragma once

#include "changer/list_control.h"

// Loads every slot in turn under one hold of g_hComMutex, fills g_slots and
// the disc list (artist and title from the catalogue), and shows each
// scanned slot's tracks in the track list. Returns 0.
int ScanMagazine(ListControl& discList, ListControl& trackList);

// Refills the track list with the tracks of disc-list row `row` (slot row+1);
// empties it for a row outside 0..99 or an empty slot.
void ShowTrackList(ListControl& trackList, int row);

// Lowest selected row, or -1 when none is selected.
int GetSelectedRow(ListControl& list);
