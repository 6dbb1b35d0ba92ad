// The remembered magazine: restoring g_slots from the library, storing each
// slot read, and the disc list from the table.
#include "changer/magazine_memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>

#include "base/display_text.h"
#include "catalogue/catalogue.h"
#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"
#include "platform/window_hooks.h"

Library* g_hLibrary = nullptr;
bool g_bSlotRemembered[kSlotCount] = {};

namespace {

bool FitsByte(int64_t value) {
    return value >= 0 && value <= 255;
}

MinSec Time(int64_t minutes, int64_t seconds) {
    MinSec time;
    time.bMinutes = static_cast<uint8_t>(minutes);
    time.bSeconds = static_cast<uint8_t>(seconds);
    return time;
}

StoredSlot StoredFrom(int slotNumber, const DiscSlot& slot) {
    StoredSlot stored;
    stored.slot = slotNumber;
    stored.present = (slot.wFlags & SLOT_PRESENT) != 0 ? 1 : 0;
    stored.readAt = static_cast<int64_t>(std::time(nullptr));
    if (!stored.present) {
        return stored;
    }
    stored.discId = slot.szDiscId;
    stored.firstTrack = slot.wFirstTrack;
    stored.discMinutes = slot.timeDisc.bMinutes;
    stored.discSeconds = slot.timeDisc.bSeconds;
    if (slot.pTracks) {
        stored.trackCount = slot.wTrackCount;
        for (int j = 0; j < slot.wTrackCount; ++j) {
            const TrackEntry& entry = slot.pTracks[j];
            stored.tracks.push_back({j, entry.timeStart.bMinutes, entry.timeStart.bSeconds,
                                     entry.timeLength.bMinutes, entry.timeLength.bSeconds});
        }
    }
    return stored;
}

// Fills the table's slot from a valid stored one. Caller holds g_hComMutex.
void FillSlot(DiscSlot& slot, const StoredSlot& stored) {
    slot = DiscSlot();
    if (!stored.present) {
        return;
    }
    slot.wFlags = SLOT_PRESENT;
    std::snprintf(slot.szDiscId, sizeof slot.szDiscId, "%s", stored.discId.c_str());
    slot.wFirstTrack = static_cast<uint16_t>(stored.firstTrack);
    slot.timeDisc = Time(stored.discMinutes, stored.discSeconds);
    if (stored.trackCount == 0) {
        return;
    }
    slot.pTracks.reset(new (std::nothrow) TrackEntry[stored.trackCount]);
    if (!slot.pTracks) {
        return;  // present, without tracks
    }
    slot.wTrackCount = static_cast<uint16_t>(stored.trackCount);
    for (const StoredTrack& track : stored.tracks) {
        TrackEntry& entry = slot.pTracks[track.position];
        entry.timeStart = Time(track.startMinutes, track.startSeconds);
        entry.timeLength = Time(track.lengthMinutes, track.lengthSeconds);
    }
}

// The box of a failed write: kept for the whole run, as PostErrorBox needs.
char writeFailureText[512];
// The library file in use, for that box; set by StartLibrary.
std::string libraryPathInUse;

// On the library's writer thread, once.
void ReportWriteFailure(const std::string& error) {
    std::snprintf(writeFailureText, sizeof writeFailureText,
                  "Couldn't write to the library %s: %s. What is read from now on may not be "
                  "remembered.",
                  libraryPathInUse.c_str(), error.c_str());
    PostErrorBox(writeFailureText, "Error");
}

}  // namespace

bool IsValidStoredSlot(const StoredSlot& slot) {
    if (slot.slot < 1 || slot.slot > kSlotCount || (slot.present != 0 && slot.present != 1)) {
        return false;
    }
    if (!slot.present) {
        return true;
    }
    if (slot.discId.size() > static_cast<size_t>(kDiscIdLength) ||
        slot.discId.find('\0') != std::string::npos || slot.firstTrack < 0 ||
        slot.firstTrack > kLargestTrack || slot.trackCount < 0 || slot.trackCount > kLargestTrack ||
        (slot.trackCount > 0 && slot.firstTrack + slot.trackCount - 1 > kLargestTrack) ||
        !FitsByte(slot.discMinutes) || !FitsByte(slot.discSeconds) ||
        slot.tracks.size() != static_cast<size_t>(slot.trackCount)) {
        return false;
    }
    for (size_t j = 0; j < slot.tracks.size(); ++j) {
        const StoredTrack& track = slot.tracks[j];
        if (track.position != static_cast<int64_t>(j) || !FitsByte(track.startMinutes) ||
            !FitsByte(track.startSeconds) || !FitsByte(track.lengthMinutes) ||
            !FitsByte(track.lengthSeconds)) {
            return false;
        }
    }
    return true;
}

int RestoreMagazine(const std::vector<StoredSlot>& slots) {
    std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
    int restored = 0;
    for (const StoredSlot& stored : slots) {
        if (!IsValidStoredSlot(stored)) {
            continue;
        }
        FillSlot(g_slots[stored.slot - 1], stored);
        g_bSlotRemembered[stored.slot - 1] = true;
        ++restored;
    }
    PublishWholeMagazine();  // the remotes see the restored magazine at once
    return restored;
}

void RememberSlot(int slotNumber) {
    g_bSlotRemembered[slotNumber - 1] = false;
    if (g_hLibrary != nullptr) {
        g_hLibrary->StoreSlot(StoredFrom(slotNumber, g_slots[slotNumber - 1]));
    }
}

void ShowMagazineRows(ListControl& discList) {
    discList.DeleteAllRows();
    discList.SetRedraw(false);
    for (int slotNumber = 1; slotNumber <= kSlotCount; ++slotNumber) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", slotNumber);
        discList.InsertRow(slotNumber - 1, text);
        ShowSlotRow(discList, slotNumber);
    }
    discList.SetRedraw(true);
    discList.RepaintNow();
}

void ShowSlotRow(ListControl& discList, int slotNumber) {
    int row = slotNumber - 1;
    if (row < 0 || row >= kSlotCount || row >= discList.RowCount()) {
        return;
    }
    char id[kDiscIdLength + 1] = {};
    char tracks[kTextSize] = {};
    char time[kTextSize] = {};
    bool present;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        const DiscSlot& slot = g_slots[row];
        present = (slot.wFlags & SLOT_PRESENT) != 0;
        if (present) {
            std::memcpy(id, slot.szDiscId, sizeof id);
            if (slot.wTrackCount > 0) {
                std::snprintf(tracks, sizeof tracks, "%d-%d", slot.wFirstTrack,
                              slot.wFirstTrack + slot.wTrackCount - 1);
            }
            slot.timeDisc.Format(time);
        }
    }
    discList.SetCell(row, 1, present ? id : "no disc");
    discList.SetCell(row, 2, tracks);
    discList.SetCell(row, 3, time);
    if (present) {
        ShowCatalogueEntry(slotNumber, discList, row);
    } else {
        discList.SetCell(row, 4, "");
        discList.SetCell(row, 5, "");
    }
}

void ShowCatalogueEntry(int slotNumber, ListControl& discList, int row) {
    char artist[kTextSize];
    char title[kTextSize];
    ReadCatalogue(slotNumber, artist, sizeof artist, title, sizeof title);
    // A catalogue saved as UTF-8 shows as the window's Windows-1252; the
    // remote replies keep the file's bytes.
    discList.SetCell(row, 4, Utf8TextToCp1252(artist).c_str());
    discList.SetCell(row, 5, Utf8TextToCp1252(title).c_str());
}

std::string StartLibrary(const std::string& path, std::time_t now) {
    libraryPathInUse = path;
    LibraryOpening opening = OpenLibrary(path, now);
    switch (opening.outcome) {
        case LibraryReady:
            opening.library->SetWriteFailureHandler(ReportWriteFailure);
            g_hLibrary = opening.library.release();
            RestoreMagazine(opening.slots);
            LoadTrackNotes(opening);
            return "";
        case LibraryMovedAside:
            return "The library " + path + " " + opening.problem + ". It was renamed " +
                   opening.movedTo + "; the program runs without a library.";
        case LibraryLeftAlone:
        default:
            return "The library " + path + " " + opening.problem +
                   ". It was left as it is; the program runs without a library.";
    }
}

void EndLibrary() {
    if (g_hLibrary != nullptr) {
        g_hLibrary->Close();
    }
}
