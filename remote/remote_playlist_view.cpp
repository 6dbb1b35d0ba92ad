// The playlist view of the remote status record.
#include "remote/remote_playlist_view.h"

#include <mutex>

#include "changer/playlist.h"
#include "changer/status_snapshot.h"

namespace {

// What the sessions read last; guarded by its own leaf lock, since any
// number of session threads read at once.
std::mutex g_hLastViewMutex;
RemotePlaylistView g_lastView;

}  // namespace

RemotePlaylistView ReadRemotePlaylist() {
    std::unique_lock<std::recursive_mutex> playlistLock(g_hPlaylistMutex, std::try_to_lock);
    if (!playlistLock.owns_lock()) {
        std::lock_guard<std::mutex> lock(g_hLastViewMutex);
        return g_lastView;
    }
    RemotePlaylistView view;
    view.pos = g_nPlaylistPos;
    view.count = g_nPlaylistCount;
    if (const PlaylistEntry* next = NextPlaylistEntry()) {
        view.nextDisc = next->wDisc;
        view.nextTrack = next->wTrack;
    }
    playlistLock.unlock();
    std::lock_guard<std::mutex> lock(g_hLastViewMutex);
    g_lastView = view;
    return view;
}

void ResetRemotePlaylistView() {
    std::lock_guard<std::mutex> lock(g_hLastViewMutex);
    g_lastView = RemotePlaylistView();
}
