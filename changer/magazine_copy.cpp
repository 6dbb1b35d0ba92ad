// The magazine table's copy for readers that must not wait for the line.
#include "changer/magazine_copy.h"

#include <cstring>
#include <mutex>

namespace {

// Guards g_copy; a leaf lock, taken last and held only while copying.
std::mutex g_hCopyMutex;
MagazineCopy g_copy;

MagazineCopyRow RowOf(const DiscSlot& slot) {
    MagazineCopyRow row;
    row.present = (slot.wFlags & SLOT_PRESENT) != 0;
    if (row.present) {
        std::memcpy(row.szDiscId, slot.szDiscId, sizeof row.szDiscId);
        row.szDiscId[kDiscIdLength] = 0;
        row.wFirstTrack = slot.wFirstTrack;
        row.wTrackCount = slot.wTrackCount;
        row.timeDisc = slot.timeDisc;
    }
    return row;
}

bool SameRow(const MagazineCopyRow& a, const MagazineCopyRow& b) {
    return a.present == b.present && std::strcmp(a.szDiscId, b.szDiscId) == 0 &&
           a.wFirstTrack == b.wFirstTrack && a.wTrackCount == b.wTrackCount &&
           a.timeDisc.bMinutes == b.timeDisc.bMinutes && a.timeDisc.bSeconds == b.timeDisc.bSeconds;
}

// With g_hCopyMutex held: stores one row; true when it changed.
bool StoreRow(int index, const MagazineCopyRow& row) {
    if (SameRow(g_copy.rows[index], row)) {
        return false;
    }
    g_copy.rows[index] = row;
    return true;
}

}  // namespace

void BeginMagazineCopy(int firstSlot, int lastSlot) {
    std::lock_guard<std::mutex> lock(g_hCopyMutex);
    for (int slotNumber = firstSlot; slotNumber <= lastSlot; ++slotNumber) {
        if (slotNumber >= 1 && slotNumber <= kSlotCount) {
            g_copy.rows[slotNumber - 1] = MagazineCopyRow();
        }
    }
    g_copy.scanning = true;
    g_copy.scanSlot = firstSlot;
    g_copy.scanLastSlot = lastSlot;
    // A scan always changes the table as readers see it: its rows start
    // empty.
    ++g_copy.generation;
}

void PublishMagazineSlot(int slotNumber) {
    if (slotNumber < 1 || slotNumber > kSlotCount) {
        return;
    }
    MagazineCopyRow row = RowOf(g_slots[slotNumber - 1]);
    std::lock_guard<std::mutex> lock(g_hCopyMutex);
    if (StoreRow(slotNumber - 1, row)) {
        ++g_copy.generation;
    }
    if (g_copy.scanning && slotNumber < g_copy.scanLastSlot) {
        g_copy.scanSlot = slotNumber + 1;
    }
}

void PublishWholeMagazine() {
    MagazineCopyRow rows[kSlotCount];
    for (int i = 0; i < kSlotCount; ++i) {
        rows[i] = RowOf(g_slots[i]);
    }
    std::lock_guard<std::mutex> lock(g_hCopyMutex);
    bool changed = false;
    for (int i = 0; i < kSlotCount; ++i) {
        changed = StoreRow(i, rows[i]) || changed;
    }
    if (changed) {
        ++g_copy.generation;
    }
}

void EndMagazineCopy(int lastScanned) {
    PublishWholeMagazine();
    std::lock_guard<std::mutex> lock(g_hCopyMutex);
    g_copy.scanning = false;
    g_copy.scanSlot = lastScanned;
}

void MarkMagazineNamesChanged() {
    std::lock_guard<std::mutex> lock(g_hCopyMutex);
    ++g_copy.generation;
}

void ReadMagazineCopy(MagazineCopy* copy) {
    std::lock_guard<std::mutex> lock(g_hCopyMutex);
    *copy = g_copy;
}

void ResetMagazineCopy() {
    std::lock_guard<std::mutex> lock(g_hCopyMutex);
    g_copy = MagazineCopy();
}
