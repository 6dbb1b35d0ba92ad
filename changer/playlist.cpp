// Play requests (disc and track as one locked command unit) and the shuffle playlist.
#include "changer/playlist.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "changer/disc_check.h"
#include "changer/magazine.h"
#include "changer/status_poll.h"
#include "changer/style_select.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"
#include "platform/mul_div.h"

std::recursive_mutex g_hPlaylistMutex;
bool g_bPlaylistBuilt = false;
std::vector<PlaylistEntry> g_hPlaylist;
int g_nPlaylistCount = 0;
int g_nPlaylistPos = 0;
uint32_t g_nRandomSeed = 0;
std::string g_sShuffleStyle;

void SeedRandom() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    uint64_t millis = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
    g_nRandomSeed = static_cast<uint32_t>(millis);
}

uint16_t NextRandom() {
    g_nRandomSeed = g_nRandomSeed * 1664525u + 1013904223u;
    return static_cast<uint16_t>(g_nRandomSeed >> 16);
}

namespace {

bool TrackOfSlot(const DiscSlot& slot, uint16_t track) {
    return (slot.wFlags & SLOT_PRESENT) != 0 && track >= slot.wFirstTrack &&
           track < static_cast<uint32_t>(slot.wFirstTrack) + slot.wTrackCount;
}

// PlayDiscTrack under g_hComMutex, or, with firstOfDisc, of the disc's
// first track; *readAnew tells that the first-load check found another disc
// in the slot and read it.
int PlayDiscTrackLocked(uint16_t disc, uint16_t track, bool firstOfDisc, int autopause,
                        bool* readAnew) {
    // The scan rewrites the table under the serial lock, so the slot is
    // checked while holding it; the commands then follow under the same hold.
    std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
    const DiscSlot& slot = g_slots[disc - 1];
    if (firstOfDisc) {
        track = slot.wFirstTrack;
    }
    if (!TrackOfSlot(slot, track)) {
        return kPlayRejected;
    }

    char argument[8];
    FormatSlotArgument(disc, argument);
    int loaded = ChangerTransact(CMD_LOAD, argument, nullptr);
    // Only a load the changer refused counts as not loaded: a silent line
    // counts as sent, or one shuffle pass on a silent changer would try every
    // entry at a second each while holding the playlist lock.
    if (loaded != 0 && loaded != kNoResult) {
        return kPlayNotLoaded;  // track and play would only fail without a disc
    }
    // A remembered disc may have been swapped while the program was off:
    // a track the disc in the slot lacks is never asked for.
    *readAnew = loaded == 0 && CheckRememberedDisc(disc);
    if (*readAnew && firstOfDisc) {
        track = slot.wFirstTrack;  // the disc read anew may start at another track
    }
    if (*readAnew && !TrackOfSlot(slot, track)) {
        return kPlayRejected;
    }
    FormatTrackArgument(track, argument);
    ChangerTransact(CMD_TRACK, argument, nullptr);
    ChangerTransact(CMD_PLAY, "", nullptr);
    ChangerTransact(autopause ? CMD_AUTOPAUSE_ON : CMD_AUTOPAUSE_OFF, "", nullptr);
    return kPlaySent;
}

int PlayDisc(uint16_t disc, uint16_t track, bool firstOfDisc, int autopause) {
    if (disc == 0 || disc > kSlotCount) {
        return kPlayRejected;
    }
    bool readAnew = false;
    int result = PlayDiscTrackLocked(disc, track, firstOfDisc, autopause, &readAnew);
    if (readAnew) {
        UpdatePlaylistForSlot(disc);  // the serial lock is released here
    }
    return result;
}

}  // namespace

int PlayDiscTrack(uint16_t disc, uint16_t track, int autopause) {
    return PlayDisc(disc, track, false, autopause);
}

int PlayDiscFirstTrack(uint16_t disc, int autopause) {
    return PlayDisc(disc, 0, true, autopause);
}

namespace {

// Every track of the magazine with its styles. Reads the table under the
// serial lock.
std::vector<StyledTrack> StyledTracks() {
    std::vector<StyledTrack> tracks;
    std::lock_guard<std::recursive_mutex> comLock(g_hComMutex);
    for (int i = 0; i < kSlotCount; ++i) {
        const DiscSlot& slot = g_slots[i];
        if ((slot.wFlags & SLOT_PRESENT) == 0) {
            continue;
        }
        std::string discStyle = DiscStyle(slot.szDiscId);
        for (int k = 0; k < slot.wTrackCount; ++k) {
            int track = slot.wFirstTrack + k;
            tracks.push_back({static_cast<uint16_t>(i + 1), static_cast<uint16_t>(track),
                              TrackNotes(slot.szDiscId, track).style, discStyle});
        }
    }
    return tracks;
}

std::vector<PlaylistEntry> EntriesOf(const std::vector<StyledTrack>& tracks) {
    std::vector<PlaylistEntry> entries;
    entries.reserve(tracks.size());
    for (const StyledTrack& track : tracks) {
        entries.push_back({track.disc, track.track});
    }
    return entries;
}

// Shuffles entries into the playlist. Caller holds g_hPlaylistMutex.
void ShuffleIntoPlaylist(std::vector<PlaylistEntry> entries);

}  // namespace

void BuildPlaylist() {
    std::lock_guard<std::recursive_mutex> playlistLock(g_hPlaylistMutex);
    if (!g_sShuffleStyle.empty()) {
        ShuffleIntoPlaylist(EntriesOf(SelectStyle(StyledTracks(), g_sShuffleStyle)));
        return;
    }
    std::vector<PlaylistEntry> entries;
    // Room for one entry up front; what tells callers (the panel's fourth
    // line) that a list was built is g_bPlaylistBuilt, set below even when
    // no disc is present and the list holds nothing.
    entries.reserve(1);
    {
        std::lock_guard<std::recursive_mutex> comLock(g_hComMutex);
        for (int i = 0; i < kSlotCount; ++i) {
            const DiscSlot& slot = g_slots[i];
            if ((slot.wFlags & SLOT_PRESENT) == 0) {
                continue;
            }
            entries.reserve(entries.size() + slot.wTrackCount);
            for (int k = 0; k < slot.wTrackCount; ++k) {
                entries.push_back(
                    {static_cast<uint16_t>(i + 1), static_cast<uint16_t>(slot.wFirstTrack + k)});
            }
        }
    }
    ShuffleIntoPlaylist(std::move(entries));
}

void StartShuffle() {
    // One hold across build, reset and first play: nobody sees the new list
    // with the old position.
    std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
    g_sShuffleStyle.clear();
    BuildPlaylist();
    g_nMode = ModeShuffle;
    g_nPlaylistPos = 0;
    PlayNextEntry();
}

int StartStyleShuffle(const std::string& style) {
    std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
    std::vector<StyledTrack> selected = SelectStyle(StyledTracks(), style);
    if (selected.empty()) {
        return 0;
    }
    g_sShuffleStyle = style;
    ShuffleIntoPlaylist(EntriesOf(selected));
    g_nMode = ModeShuffle;
    g_nPlaylistPos = 0;
    PlayNextEntry();
    return static_cast<int>(selected.size());
}

namespace {

void ShuffleIntoPlaylist(std::vector<PlaylistEntry> entries) {
    // One draw per entry; x has 256 values, scaled with rounding onto 0..count-1.
    int count = static_cast<int>(entries.size());
    for (int j = 0; j < count; ++j) {
        int x = NextRandom() & 0xFF;
        int r = MulDiv(x, count - 1, 255);
        std::swap(entries[j], entries[r]);
    }

    g_hPlaylist = std::move(entries);
    g_nPlaylistCount = count;
    g_bPlaylistBuilt = true;
}

}  // namespace

void PlayNextEntry() {
    std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
    // Slots whose disc did not load during this call (index = slot number).
    bool notLoaded[kSlotCount + 1] = {};
    int tries = g_nPlaylistCount;
    while (tries-- > 0 && g_bPlaylistBuilt && g_nPlaylistPos >= 0 &&
           g_nPlaylistPos < g_nPlaylistCount) {
        const PlaylistEntry entry = g_hPlaylist[g_nPlaylistPos];
        // A disc gone since the build is rejected without a command; one
        // that did not load is not asked for again.
        bool askedBefore = entry.wDisc <= kSlotCount && notLoaded[entry.wDisc];
        int result = askedBefore ? kPlayNotLoaded : PlayDiscTrack(entry.wDisc, entry.wTrack, 1);
        if (result == kPlayNotLoaded) {
            notLoaded[entry.wDisc] = true;  // only a disc of the table gets this far
        }
        ++g_nPlaylistPos;
        if (g_nPlaylistPos == g_nPlaylistCount) {
            BuildPlaylist();
            g_nPlaylistPos = 0;
        }
        if (result == kPlaySent) {
            return;
        }
    }
}

namespace {

bool TrackOnSlot(const DiscSlot& slot, int track) {
    return (slot.wFlags & SLOT_PRESENT) != 0 && track >= slot.wFirstTrack &&
           track < slot.wFirstTrack + slot.wTrackCount;
}

}  // namespace

void UpdatePlaylistForSlot(int slotNumber) {
    std::lock_guard<std::recursive_mutex> playlistLock(g_hPlaylistMutex);
    if (!g_bPlaylistBuilt) {
        return;
    }
    DiscSlot slot;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        const DiscSlot& current = g_slots[slotNumber - 1];
        slot.wFlags = current.wFlags;
        slot.wFirstTrack = current.wFirstTrack;
        slot.wTrackCount = current.wTrackCount;
        std::memcpy(slot.szDiscId, current.szDiscId, sizeof slot.szDiscId);
    }
    std::string discStyle = DiscStyle(slot.szDiscId);
    // In a shuffle of one style, whether a track of the disc read anew is of it.
    auto ofShuffleStyle = [&](int track) {
        StyledTrack styled{static_cast<uint16_t>(slotNumber), static_cast<uint16_t>(track),
                           TrackNotes(slot.szDiscId, track).style, discStyle};
        return g_sShuffleStyle.empty() || SameStyle(EffectiveStyle(styled), g_sShuffleStyle);
    };
    // Entries up to the position have played or play now: they stay.
    int pos = std::max(0, std::min(g_nPlaylistPos, static_cast<int>(g_hPlaylist.size())));
    std::vector<PlaylistEntry> entries(g_hPlaylist.begin(), g_hPlaylist.begin() + pos);
    std::vector<bool> named(kLargestTrack + 1, false);
    for (size_t i = 0; i < g_hPlaylist.size(); ++i) {
        const PlaylistEntry& entry = g_hPlaylist[i];
        bool ofSlot = entry.wDisc == slotNumber;
        if (ofSlot && entry.wTrack <= kLargestTrack) {
            named[entry.wTrack] = true;
        }
        if (static_cast<int>(i) >= pos &&
            (i == static_cast<size_t>(pos) || !ofSlot ||
             (TrackOnSlot(slot, entry.wTrack) && ofShuffleStyle(entry.wTrack)))) {
            entries.push_back(entry);
        }
    }
    // New tracks go at random after the entry at the position.
    for (int k = 0; k < slot.wTrackCount; ++k) {
        int track = slot.wFirstTrack + k;
        if (track > kLargestTrack || named[track]) {
            continue;
        }
        if (!ofShuffleStyle(track)) {
            continue;  // a shuffle of one style takes only that style's tracks
        }
        size_t after = std::min(entries.size(), static_cast<size_t>(pos) + 1);
        size_t at = after + NextRandom() % (entries.size() - after + 1);
        entries.insert(entries.begin() + at,
                       {static_cast<uint16_t>(slotNumber), static_cast<uint16_t>(track)});
    }
    g_hPlaylist = std::move(entries);
    g_nPlaylistCount = static_cast<int>(g_hPlaylist.size());
    if (g_nPlaylistPos >= g_nPlaylistCount) {
        g_nPlaylistPos = 0;
    }
}

int LoadSlotChecked(int slotNumber) {
    char argument[8];
    FormatSlotArgument(slotNumber, argument);  // slot 100 as A00
    int result;
    bool readAnew = false;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        result = ChangerTransact(CMD_LOAD, argument, nullptr);
        readAnew = result == 0 && CheckRememberedDisc(slotNumber);
    }
    if (readAnew) {
        UpdatePlaylistForSlot(slotNumber);
    }
    return result;
}
