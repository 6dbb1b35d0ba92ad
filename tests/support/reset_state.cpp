// Test state reset and builders for commands and status replies.
#include "tests/support/reset_state.h"

#include <cstdio>

#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/magazine_memory.h"
#include "changer/playlist.h"
#include "changer/playlist_view.h"
#include "changer/status_answer.h"
#include "changer/status_poll.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"

void ResetChangerState() {
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        for (DiscSlot& slot : g_slots) {
            slot = DiscSlot();
        }
        for (int i = 0; i < kSlotCount; ++i) {
            g_bSlotRemembered[i] = false;
        }
        g_hCom = nullptr;
        g_linkState = LinkState();
    }
    ResetMagazineCopy();
    ResetPlaylistView();
    ResetTrackNotes();
    ResetPlayCounter();
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        g_hPlaylist.clear();
        g_bPlaylistBuilt = false;
        g_nPlaylistCount = 0;
        g_nPlaylistPos = 0;
        g_nRandomSeed = 0;
        g_sShuffleStyle.clear();
    }
    {
        std::lock_guard<std::recursive_mutex> lock(g_hStatusMutex);
        g_nDisc = 0;
        g_nTrack = 0;
        g_nIndex = 0;
        g_timeDisc = MinSec();
        g_timeTrack = MinSec();
        g_bAutopause = 0;
        g_nStatus = 0;
        g_bStatusAnswered = 0;
        g_nLastAnswerMs = -1;
        g_statusClock = SteadyClockMs;
        g_playedAtClock = WallClockSeconds;
    }
    g_nMode = 0;
}

void FillSlot(int slot, int firstTrack, int trackCount) {
    std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
    DiscSlot& entry = g_slots[slot - 1];
    entry.wFlags = SLOT_PRESENT;
    entry.wFirstTrack = static_cast<uint16_t>(firstTrack);
    entry.wTrackCount = static_cast<uint16_t>(trackCount);
    PublishWholeMagazine();
}

std::vector<std::pair<int, int>> PlaylistEntries() {
    std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
    std::vector<std::pair<int, int>> entries;
    for (const PlaylistEntry& entry : g_hPlaylist) {
        entries.push_back({entry.wDisc, entry.wTrack});
    }
    return entries;
}

std::vector<std::string> SentCommands(const std::string& written) {
    std::vector<std::string> commands;
    size_t at = 0;
    while (at < written.size()) {
        size_t end = written.find('\x03', at);
        if (written[at] != '\x02' || end == std::string::npos || end < at + 5) {
            commands.push_back(written.substr(at));
            break;
        }
        commands.push_back(written.substr(at + 3, end - at - 3));
        at = end + 1;
    }
    return commands;
}

std::string StatusReply(const char* code, bool autopause, int disc, int track, int index,
                        const char* trackTime, const char* discTime) {
    char text[64];
    std::snprintf(text, sizeof text,
                  "\x02"
                  "2416"
                  "00%.2s%c %02d%02d%02d%.4s  %.4s\x03",
                  code, autopause ? 'S' : ' ', disc % 100, track, index, trackTime, discTime);
    return text;
}
