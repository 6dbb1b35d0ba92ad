// The first-load check: the loaded disc's identifier against the remembered
// one, and the disc read anew when they differ.
#include "changer/disc_check.h"

#include <cstring>

#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/magazine_memory.h"
#include "changer/magazine_scan.h"
#include "platform/window_hooks.h"

bool CheckRememberedDisc(int slotNumber) {
    if (slotNumber < 1 || slotNumber > kSlotCount || !g_bSlotRemembered[slotNumber - 1]) {
        return false;
    }
    DiscSlot& slot = g_slots[slotNumber - 1];
    char id[kDiscIdLength + 1] = {};
    if (!ReadLoadedDiscId(id)) {
        return false;  // no identifier came: asked again at the next load
    }
    g_bSlotRemembered[slotNumber - 1] = false;
    if (std::strcmp(id, slot.szDiscId) == 0) {
        return false;
    }
    std::memcpy(slot.szDiscId, id, sizeof id);
    slot.wFlags = SLOT_PRESENT;
    ReadLoadedDiscContents(slot);
    RememberSlot(slotNumber);
    PublishMagazineSlot(slotNumber);
    RequestSlotRowRefresh(g_hWnd.load(), slotNumber);
    return true;
}
