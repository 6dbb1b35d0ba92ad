// The magazine scan: loads every slot, reads identifier, table of contents
// and track times into g_slots and the disc list; fills the track list.
#include "changer/magazine_scan.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/magazine_memory.h"
#include "changer/track_note_cells.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"

namespace {

// Reply's buffer holds what ChangerTransact stores.
static_assert(kTextSize >= kReplyBufferSize, "a stored reply fits the text buffer");

// Reply offsets of the fields read here.
const int kDiscIdStart = 9;
const int kDiscIdEnd = 19;  // one past the identifier's last byte
const int kTocFirstTrack = 9;
const int kTocLastTrack = 11;
const int kTocDiscTime = 13;
const int kTrackStart = 9;
const int kTrackEnd = 13;

// The disc list's columns: slot, identifier, tracks, time, artist, title.
const int kLastDiscColumn = 5;

// A stored reply, read at fixed offsets. Bytes at or past the end of what
// arrived (the closing ETX included) are missing and read as the digit 0.
class Reply {
public:
    void Fetch(int command, const char* argument) {
        int stored = 0;
        ChangerTransact(command, argument, bytes_, &stored);
        length_ = ReplyEndsWithEtx(bytes_, stored) ? stored - 1 : stored;
    }

    bool Has(int offset) const { return offset < length_; }
    char At(int offset) const { return Has(offset) ? bytes_[offset] : '0'; }
    bool IsDigitAt(int offset) const {
        return Has(offset) && At(offset) >= '0' && At(offset) <= '9';
    }

    // Two-digit field, with the digit arithmetic applied to whatever stands.
    int TwoDigits(int offset) const {
        const char digits[2] = {At(offset), At(offset + 1)};
        return DecimalField(digits);
    }

    MinSec Time(int offset) const {
        char digits[4];
        for (int k = 0; k < 4; ++k) {
            digits[k] = At(offset + k);
        }
        MinSec time;
        time.Parse(digits);
        return time;
    }

    // The bytes from..to-1 that arrived, as text.
    void CopyText(int from, int to, char* out, int capacity) const {
        int end = length_ < to ? length_ : to;
        int n = 0;
        for (int k = from; k < end && n < capacity - 1 && bytes_[k] != 0; ++k) {
            out[n++] = bytes_[k];
        }
        out[n] = 0;
    }

private:
    char bytes_[kTextSize] = {};
    int length_ = 0;
};

void ReadDiscId(DiscSlot& slot, ListControl& discList, int row) {
    ReadLoadedDiscId(slot.szDiscId);
    discList.SetCell(row, 1, slot.szDiscId);
}

// Reads the table of contents into the slot; first and last as they stood.
// A table that makes no sense (track fields not digits, last before first,
// over 99 tracks) leaves the disc present with no tracks.
void ReadTocFields(DiscSlot& slot, int* first, int* last) {
    Reply reply;
    reply.Fetch(CMD_TOC, "");
    *first = reply.TwoDigits(kTocFirstTrack);
    *last = reply.TwoDigits(kTocLastTrack);
    int count = *last - *first + 1;
    bool sensible = reply.IsDigitAt(kTocFirstTrack) && reply.IsDigitAt(kTocFirstTrack + 1) &&
                    reply.IsDigitAt(kTocLastTrack) && reply.IsDigitAt(kTocLastTrack + 1) &&
                    count >= 1 && count <= kLargestTrack;
    slot.wFirstTrack = static_cast<uint16_t>(sensible ? *first : 0);
    slot.wTrackCount = static_cast<uint16_t>(sensible ? count : 0);
    slot.timeDisc = reply.Time(kTocDiscTime);
}

// The table of contents into the slot and the row.
void ReadTableOfContents(DiscSlot& slot, ListControl& discList, int row) {
    int first = 0;
    int last = 0;
    ReadTocFields(slot, &first, &last);

    char text[kTextSize];
    std::snprintf(text, sizeof text, "%d-%d", first, last);
    discList.SetCell(row, 2, text);

    slot.timeDisc.Format(text);
    discList.SetCell(row, 3, text);
}

void ReadTrackTimes(DiscSlot& slot) {
    if (slot.wTrackCount == 0) {
        return;
    }
    slot.pTracks.reset(new (std::nothrow) TrackEntry[slot.wTrackCount]);
    if (!slot.pTracks) {
        slot.wTrackCount = 0;  // present, without tracks
        return;
    }
    for (int j = 0; j < slot.wTrackCount; ++j) {
        TrackEntry& entry = slot.pTracks[j];
        entry.wReserved = 0;
        char argument[8];
        FormatTrackArgument(slot.wFirstTrack + j, argument);
        Reply reply;
        reply.Fetch(CMD_TRACK_INFO, argument);
        entry.timeStart = reply.Time(kTrackStart);
        entry.timeLength = reply.Time(kTrackEnd);
        entry.timeLength.Subtract(entry.timeStart);
    }
}

// The disc list's row for slot slotNumber (row slotNumber - 1), column 0
// only: the slot number.
void InsertSlotRow(int slotNumber, ListControl& discList) {
    char text[kTextSize];
    std::snprintf(text, sizeof text, "%d", slotNumber);
    discList.InsertRow(slotNumber - 1, text);
}

// A range scan rewrites the row that stands: its cells after the slot
// number empty, as a new row's are.
void ClearSlotRow(int slotNumber, ListControl& discList) {
    for (int column = 1; column <= kLastDiscColumn; ++column) {
        discList.SetCell(slotNumber - 1, column, "");
    }
}

void ClearSlot(DiscSlot& slot) {
    slot.pTracks.reset();
    slot.wFlags = 0;
    slot.szDiscId[0] = 0;
}

// Scans one slot. Returns whether the changer sent any reply byte for it: a
// slot whose load got none is taken as empty and asks nothing more, while
// an empty slot of a working changer answers its load with a result.
bool ScanSlot(int slotNumber, bool rowStands, ListControl& discList, ListControl& trackList) {
    DiscSlot& slot = g_slots[slotNumber - 1];
    int row = slotNumber - 1;

    ClearSlot(slot);
    char argument[8];
    FormatSlotArgument(slotNumber, argument);
    int loadReplyLength = 0;
    if (ChangerTransact(CMD_LOAD, argument, nullptr, &loadReplyLength) == 0) {
        slot.wFlags = SLOT_PRESENT;
    }
    bool present = (slot.wFlags & SLOT_PRESENT) != 0;

    if (rowStands) {
        ClearSlotRow(slotNumber, discList);
    } else {
        InsertSlotRow(slotNumber, discList);
    }
    discList.EnsureVisible(row);

    if (present) {
        ReadDiscId(slot, discList, row);
        ReadTableOfContents(slot, discList, row);
        ShowCatalogueEntry(slotNumber, discList, row);
    } else {
        discList.SetCell(row, 1, "no disc");
    }
    discList.RepaintNow();

    if (present) {
        ReadTrackTimes(slot);
    }
    RememberSlot(slotNumber);
    ShowTrackList(trackList, row);
    return loadReplyLength > 0;
}

// Rows for the slots that a scan ended early did not reach, or, before a
// range scan, for the slots past the rows that stand. Drawn once: row by row
// the list-view takes tens of milliseconds each.
void ShowRemainingRowsEmpty(int firstSlot, ListControl& discList) {
    if (firstSlot > kSlotCount) {
        return;
    }
    discList.SetRedraw(false);
    for (int slotNumber = firstSlot; slotNumber <= kSlotCount; ++slotNumber) {
        InsertSlotRow(slotNumber, discList);
        discList.SetCell(slotNumber - 1, 1, "no disc");
        if (g_hLibrary != nullptr) {
            ShowSlotRow(discList, slotNumber);  // what the library remembers
        }
    }
    discList.SetRedraw(true);
    discList.RepaintNow();
}

}  // namespace

bool ScanRangeIsValid(int firstSlot, int lastSlot) {
    return firstSlot >= 1 && lastSlot <= kSlotCount && firstSlot <= lastSlot;
}

ScanResult ScanMagazine(ListControl& discList, ListControl& trackList, ScanProgress& progress,
                        int firstSlot, int lastSlot) {
    ScanResult result;
    if (!ScanRangeIsValid(firstSlot, lastSlot)) {
        result.end = ScanRefused;
        return result;
    }
    const bool wholeMagazine = firstSlot == 1 && lastSlot == kSlotCount;
    {
        // One locked unit: no other command may fall between two of the
        // scan's, and readers of g_slots on other threads wait for the
        // whole table.
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        if (wholeMagazine) {
            discList.DeleteAllRows();
        } else {
            // Every slot's row stands before a range is rewritten in place.
            ShowRemainingRowsEmpty(discList.RowCount() + 1, discList);
        }
        BeginMagazineCopy(firstSlot, lastSlot);
        ChangerTransact(CMD_UNLOAD, "", nullptr);
        int silentSlots = 0;
        for (int slotNumber = firstSlot; slotNumber <= lastSlot; ++slotNumber) {
            result.lastSlot = slotNumber;
            silentSlots =
                ScanSlot(slotNumber, !wholeMagazine, discList, trackList) ? 0 : silentSlots + 1;
            PublishMagazineSlot(slotNumber);  // remote readers see the rows so far
            if (silentSlots >= kSilentSlotsToStop) {
                result.end = ScanChangerSilent;
            } else if (slotNumber < lastSlot && !progress.ContinueAfterSlot()) {
                result.end = ScanStoppedByCaller;
            }
            if (result.end != ScanCompleted) {
                break;
            }
        }
        // The slots a whole scan did not reach hold no disc, unless the
        // library remembers them: then they keep what was known. A range
        // scan leaves every slot it did not reach as it was.
        for (int slotNumber = result.lastSlot + 1;
             wholeMagazine && slotNumber <= kSlotCount && g_hLibrary == nullptr; ++slotNumber) {
            ClearSlot(g_slots[slotNumber - 1]);
        }
        EndMagazineCopy(result.lastSlot);
    }
    if (wholeMagazine && result.lastSlot < kSlotCount) {
        ShowRemainingRowsEmpty(result.lastSlot + 1, discList);
    }
    return result;
}

bool ReadLoadedDiscId(char* id) {
    Reply reply;
    reply.Fetch(CMD_DISC_ID, "");
    reply.CopyText(kDiscIdStart, kDiscIdEnd, id, kDiscIdLength + 1);
    return reply.Has(kDiscIdStart);
}

void ReadLoadedDiscContents(DiscSlot& slot) {
    int first = 0;
    int last = 0;
    slot.pTracks.reset();
    ReadTocFields(slot, &first, &last);
    ReadTrackTimes(slot);
}

namespace {

// A cell the store has nothing for stays as the list made it: empty.
void ShowNoteCells(ListControl& trackList, int row, const TrackNoteCells& cells) {
    const std::pair<int, const std::string*> columns[] = {{kTrackTitleColumn, &cells.title},
                                                          {kTrackStyleColumn, &cells.style},
                                                          {kTrackPlayedColumn, &cells.played}};
    for (const auto& [column, text] : columns) {
        if (!text->empty()) {
            trackList.SetCell(row, column, text->c_str());
        }
    }
}

}  // namespace

void ShowTrackList(ListControl& trackList, int row) {
    trackList.DeleteAllRows();
    // A first load may read a slot anew on another thread.
    std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
    if (row >= 0 && row < kSlotCount) {
        const DiscSlot& slot = g_slots[row];
        if ((slot.wFlags & SLOT_PRESENT) && slot.pTracks) {
            std::string discStyle = DiscStyle(slot.szDiscId);
            for (int b = 0; b < slot.wTrackCount; ++b) {
                const TrackEntry& entry = slot.pTracks[b];
                char text[16];
                std::snprintf(text, sizeof text, "%d", slot.wFirstTrack + b);
                trackList.InsertRow(b, text);
                entry.timeStart.Format(text);
                trackList.SetCell(b, 1, text);
                entry.timeLength.Format(text);
                trackList.SetCell(b, 2, text);
                ShowNoteCells(
                    trackList, b,
                    CellsOfTrack(TrackNotes(slot.szDiscId, slot.wFirstTrack + b), discStyle));
            }
        }
    }
    trackList.RepaintNow();
}

int GetSelectedRow(ListControl& list) {
    int count = list.RowCount();
    for (int row = 0; row < count; ++row) {
        if (list.IsRowSelected(row)) {
            return row;
        }
    }
    return -1;
}
