// The main window's side of the remembered magazine: the lists filled at
// start-up, and a row redrawn after a first load read its slot anew.
#pragma once

#include "changer/list_control.h"
#include "ui/main_window_logic.h"

// The disc list from the restored table, and Random and Next enabled, as
// after a scan; nothing when no slot was restored.
void ShowRememberedMagazine(MainWindowSurface& window);

// Redraws the row of slot n, and the track list when that row is selected.
void RefreshSlotRow(ListControl& discList, ListControl& trackList, int slotNumber);
