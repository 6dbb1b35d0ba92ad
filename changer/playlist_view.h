// The playlist as the status panel and the remote status record show it,
// read without waiting for a play request: a play request holds
// g_hPlaylistMutex while it waits for the serial line (for a whole scan, if
// one runs).
#pragma once

#include <cstdint>

struct PlaylistView {
    bool built = false;    // the playlist has been built
    int32_t pos = 0;       // entry that plays next, 0-based
    int32_t count = 0;     // entries
    bool hasNext = false;  // the position names an entry
    int32_t nextDisc = 0;  // 0 when no entry is next
    int32_t nextTrack = 0;
};

// Tries g_hPlaylistMutex: when it is free, reads the playlist and keeps what
// it read; when a play request holds it, returns what was read last. Any
// thread; never blocks on the playlist lock.
PlaylistView ReadPlaylistView();

// Forgets what was read last (tests).
void ResetPlaylistView();
