// Play requests and the shuffle playlist.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

struct PlaylistEntry {
    uint16_t wDisc;   // slot 1..100
    uint16_t wTrack;  // track number as the disc numbers it
};

// The playlist and its position, guarded by g_hPlaylistMutex (recursive:
// PlayNextEntry rebuilds while holding it). Lock order: g_hStatusMutex,
// then g_hPlaylistMutex, then g_hComMutex.
extern std::recursive_mutex g_hPlaylistMutex;
extern bool g_bPlaylistBuilt;                   // false until the first build
extern std::vector<PlaylistEntry> g_hPlaylist;  // the entries, in play order
extern int g_nPlaylistCount;                    // number of entries
extern int g_nPlaylistPos;                      // entry that plays next (0-based)
extern uint32_t g_nRandomSeed;                  // shuffle generator state

// Seeds the generator from the millisecond clock.
void SeedRandom();

// One step of the generator; returns bits 16..31 of the new state.
uint16_t NextRandom();

// Plays disc and track: validates against the magazine table, then sends
// load, track, play and autopause on/off as one unit under g_hComMutex.
// 1 when the commands were sent, 0 when the request was rejected.
int PlayDiscTrack(uint16_t disc, uint16_t track, int autopause);

// Collects every track of every loaded disc and shuffles them. Leaves the
// position alone; callers set it.
void BuildPlaylist();

// Plays the entry at the position with autopause on and moves on; after the
// last entry the list is rebuilt and the position returns to 0.
void PlayNextEntry();
