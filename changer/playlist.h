// Play requests and the shuffle playlist.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
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
// The style the shuffle is made of; empty: every track.
extern std::string g_sShuffleStyle;

// Seeds the generator from the millisecond clock.
void SeedRandom();

// One step of the generator; returns bits 16..31 of the new state.
uint16_t NextRandom();

// Results of PlayDiscTrack.
const int kPlayRejected = 0;   // not a track of the magazine table: nothing sent,
                               // or only the load and the first-load check
                               // that found another disc without the track
const int kPlaySent = 1;       // load, track, play and autopause went out
const int kPlayNotLoaded = 2;  // the changer answered the load with a result
                               // other than 00: the disc is not there, and
                               // nothing more was sent

// Plays disc and track: validates against the magazine table, then sends
// load, track, play and autopause on/off as one unit under g_hComMutex. The
// first load of a remembered slot checks its disc (CheckRememberedDisc)
// between load and track; a disc read anew updates the playlist
// (UpdatePlaylistForSlot) once the serial lock is released.
// A load without any result (a silent line) counts as sent: the changer
// has not said that the disc is missing.
int PlayDiscTrack(uint16_t disc, uint16_t track, int autopause);

// PlayDiscTrack of the disc's first track, as the table knows it under the
// serial lock: after the first-load check, when that read the slot anew.
int PlayDiscFirstTrack(uint16_t disc, int autopause);

// Collects every track of every loaded disc (with g_sShuffleStyle set,
// only the tracks of that style) and shuffles them. Leaves the position
// alone; callers set it.
void BuildPlaylist();

// Random: the shuffle goes back to every track (g_sShuffleStyle emptied),
// is built anew and plays its first entry in ModeShuffle.
void StartShuffle();

// A shuffle of the tracks of one style (see style_select.h), played entry
// by entry as Random's is and reshuffled from the same style when used up.
// Returns how many tracks were selected; 0: none, and the playlist, its
// position and the mode are left as they were.
int StartStyleShuffle(const std::string& style);

// Plays the entry at the position with autopause on and moves on; after the
// last entry the list is rebuilt and the position returns to 0. An entry
// that does not play (rejected, or its disc did not load) is passed over at
// once for the next one, for at most one pass over the list per call; a
// disc that did not load is not asked for again within the call.
void PlayNextEntry();

// After CheckRememberedDisc read slot n anew: entries after the playlist's
// position that name a track the disc lacks are dropped, and tracks of the
// disc the list does not name are inserted at random after the position.
// In a shuffle of one style, the disc's tracks of other styles are dropped
// and not inserted.
// Takes g_hPlaylistMutex: the caller holds no g_hComMutex.
void UpdatePlaylistForSlot(int slotNumber);

// The Load button's load of slot n, with the first-load check. Returns the
// load's result.
int LoadSlotChecked(int slotNumber);
