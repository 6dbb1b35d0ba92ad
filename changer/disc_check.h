// The first-load check of a remembered slot: is the disc in it still the
// one the library remembers?
#pragma once

// After a load of slot n that the changer accepted: the first time a
// remembered slot is loaded, asks for the disc's identifier and, when it is
// not the remembered one, reads the disc (table of contents, track times)
// into the table and the library and asks the window to redraw the row.
// Returns whether the slot was read anew. The caller holds g_hComMutex.
bool CheckRememberedDisc(int slotNumber);
