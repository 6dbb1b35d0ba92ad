// The status snapshot and the next playlist entry.
#include "changer/status_snapshot.h"

#include <mutex>

#include "changer/status_answer.h"
#include "changer/status_poll.h"

StatusSnapshot ReadStatusSnapshot() {
    StatusSnapshot snapshot;
    std::lock_guard<std::recursive_mutex> statusLock(g_hStatusMutex);
    snapshot.disc = g_nDisc.load();
    snapshot.track = g_nTrack.load();
    snapshot.index = g_nIndex;
    snapshot.timeTrack = g_timeTrack;
    snapshot.timeDisc = g_timeDisc;
    snapshot.autopause = g_bAutopause;
    snapshot.row = (g_nStatus >= 0 && g_nStatus < kStatusCodeCount) ? g_nStatus : StatusNone;
    snapshot.answered = g_bStatusAnswered;
    snapshot.sinceAnswerMs = MsSinceStatusAnswer();
    return snapshot;
}

const PlaylistEntry* NextPlaylistEntry() {
    int pos = g_nPlaylistPos;
    if (!g_bPlaylistBuilt || pos < 0 || pos >= g_nPlaylistCount ||
        pos >= static_cast<int>(g_hPlaylist.size())) {
        return nullptr;
    }
    return &g_hPlaylist[pos];
}
