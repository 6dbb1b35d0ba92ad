// The playlist as the panel and the remote read it.
#include "changer/playlist_view.h"

#include <mutex>

#include "changer/playlist.h"
#include "changer/status_snapshot.h"

namespace {

// What was read last; guarded by its own leaf lock, since the painter and
// any number of session threads read at once.
std::mutex g_hLastViewMutex;
PlaylistView g_lastView;

}  // namespace

PlaylistView ReadPlaylistView() {
    std::unique_lock<std::recursive_mutex> playlistLock(g_hPlaylistMutex, std::try_to_lock);
    if (!playlistLock.owns_lock()) {
        std::lock_guard<std::mutex> lock(g_hLastViewMutex);
        return g_lastView;
    }
    PlaylistView view;
    view.built = g_bPlaylistBuilt;
    view.pos = g_nPlaylistPos;
    view.count = g_nPlaylistCount;
    if (const PlaylistEntry* next = NextPlaylistEntry()) {
        view.hasNext = true;
        view.nextDisc = next->wDisc;
        view.nextTrack = next->wTrack;
    }
    playlistLock.unlock();
    std::lock_guard<std::mutex> lock(g_hLastViewMutex);
    g_lastView = view;
    return view;
}

void ResetPlaylistView() {
    std::lock_guard<std::mutex> lock(g_hLastViewMutex);
    g_lastView = PlaylistView();
}
