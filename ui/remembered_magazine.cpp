// Filling the main window's lists from the remembered magazine.
#include "ui/remembered_magazine.h"

#include <mutex>

#include "changer/magazine.h"
#include "changer/magazine_memory.h"
#include "changer/magazine_scan.h"
#include "link/changer_link.h"

void ShowRememberedMagazine(MainWindowSurface& window) {
    bool restored = false;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        for (int i = 0; i < kSlotCount; ++i) {
            restored = restored || g_bSlotRemembered[i];
        }
    }
    if (!restored) {
        return;  // the window starts as without a library
    }
    ShowMagazineRows(window.DiscList());
    window.EnableShuffleButtons();
}

void RefreshSlotRow(ListControl& discList, ListControl& trackList, int slotNumber) {
    ShowSlotRow(discList, slotNumber);
    int row = slotNumber - 1;
    if (row >= 0 && row < discList.RowCount() && GetSelectedRow(discList) == row) {
        ShowTrackList(trackList, row);
    }
}
