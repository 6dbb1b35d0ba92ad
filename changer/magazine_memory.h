// The magazine remembered between runs: slots restored from the library at
// start-up, each slot the scan reads stored as it is read, and the check
// that a remembered disc is still the one in its slot.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "changer/list_control.h"
#include "library/library.h"

// The disc list's cell texts and catalogue fields, and the scan's reply
// buffer, in bytes.
const int kTextSize = 100;

// The open library, or null when the program runs without one. Set once by
// start-up before any other thread runs; closed (never freed) at shutdown.
extern Library* g_hLibrary;

// Slots filled from the library and neither scanned nor loaded in this
// session (element n - 1 for slot n): their disc may have been swapped
// while the program was off. Guarded by g_hComMutex, like g_slots.
extern bool g_bSlotRemembered[];

// Whether a stored slot can stand in the magazine table: slot 1..100, a
// disc identifier of at most 10 characters, a track range within 0..99
// with one stored track per track, times that fit the table's fields.
bool IsValidStoredSlot(const StoredSlot& slot);

// Fills g_slots from the stored slots (invalid ones are left out, their
// slots stay empty) and marks them remembered. Returns how many were taken.
int RestoreMagazine(const std::vector<StoredSlot>& slots);

// Queues slot n as g_slots holds it for the library (when there is one) and
// clears its remembered mark: read in this session. The caller holds
// g_hComMutex.
void RememberSlot(int slotNumber);

// The disc list as g_slots stands: one row per slot, texts as the scan
// shows them. Window thread.
void ShowMagazineRows(ListControl& discList);

// Rewrites the row of slot n, if the list has it. Window thread.
void ShowSlotRow(ListControl& discList, int slotNumber);

// Fills row's Artist and Title cells from the catalogue's line slotNumber,
// shown in Windows-1252 as the window's other texts.
void ShowCatalogueEntry(int slotNumber, ListControl& discList, int row);

// Start-up: opens the library file at path, restores the magazine from it
// and sets g_hLibrary. Returns the text of the one box to show when the file
// is bad (the program then runs without a library), else an empty text.
std::string StartLibrary(const std::string& path, std::time_t now);

// Shutdown: writes what is queued and closes the library.
void EndLibrary();
