// What the program knows of discs and tracks beyond the changer's table:
// a style per disc, a title and style per track, play counts and the
// history of plays, all keyed by the disc identifier so that they follow a
// disc moved to another slot.
//
// The store lives in memory for the whole run and answers every read
// without touching the disk. Edits and plays change it at once and are
// queued to the library (g_hLibrary) when there is one; without one they
// last for the run.
//
// Owner: this file's .cpp (process-wide, never freed). Writers: start-up
// (LoadTrackNotes), the edits of the window and the remote sessions, and the
// status poll (RecordPlay). Readers: the window, the remote sessions, the
// playlist. Every access is under g_hNotesMutex, a leaf: taken inside
// g_hStatusMutex, g_hPlaylistMutex and g_hComMutex where they are held, and
// nothing is called while it is held but the library's queue, whose lock is
// the innermost of all.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "library/library.h"
#include "protocol/remote_names.h"

extern std::mutex g_hNotesMutex;

// Longest title and longest style, in bytes. A style is no longer than the
// remote's style field carries, so every client sees and can ask for the
// style the store keeps.
const int kNoteTitleLength = 64;
const int kNoteStyleLength = kRemoteStyleLimit;

// How many plays the store keeps in its history (the file keeps them all).
const int kRecentPlaysKept = kRecentPlaysRead;

// A track's names and plays; empty texts and zero counts when unknown.
struct TrackNote {
    std::string title;
    std::string style;
    int64_t playCount = 0;
    int64_t lastPlayed = 0;  // seconds since 1970, UTC; 0: never
};

// One play of the history.
struct PlayRecord {
    int64_t playedAt = 0;  // seconds since 1970, UTC
    std::string discId;
    int track = 0;
};

// A track and its plays, for the most-played list.
struct TrackPlays {
    std::string discId;
    int track = 0;
    int64_t playCount = 0;
    int64_t lastPlayed = 0;
};

// Why a disc identifier, track number, title or style cannot be kept;
// empty when it can. An identifier has 1..10 bytes, no control byte; a
// track is 0..99; a title has at most kNoteTitleLength bytes, a style at
// most kNoteStyleLength, neither a control byte.
std::string DiscIdProblem(const std::string& discId);
std::string TrackProblem(int track);
std::string NoteTitleProblem(const std::string& title);
std::string NoteStyleProblem(const std::string& style);

// Sets the disc's style ("" clears it). False, with the reason in *problem
// when given, for bad input; nothing changes then.
bool SetDiscStyle(const std::string& discId, const std::string& style,
                  std::string* problem = nullptr);

// Sets the track's title and style ("" clears either); its plays stay.
bool SetTrackTitleStyle(const std::string& discId, int track, const std::string& title,
                        const std::string& style, std::string* problem = nullptr);

// Counts one play of the track at playedAt and adds it to the history.
bool RecordPlay(const std::string& discId, int track, int64_t playedAt,
                std::string* problem = nullptr);

// The disc's style; "" when it has none.
std::string DiscStyle(const std::string& discId);

// The track's names and plays.
TrackNote TrackNotes(const std::string& discId, int track);

// The newest plays, newest first, at most limit of them.
std::vector<PlayRecord> RecentPlays(int limit);

// Tracks played at least once, most plays first (then the latest play
// first, then by disc identifier and track), at most limit of them.
std::vector<TrackPlays> MostPlayed(int limit);

// Every style the store names, on discs or tracks, once each without
// regard to ASCII case (the first spelling in order), sorted.
std::vector<std::string> KnownStyles();

// Start-up: replaces the store with what the library read. Rows that could
// not stand (bad identifier, track, text or count) are left out; returns
// how many were. A style longer than kNoteStyleLength (only a file edited
// by hand holds one) is kept cut to that length at a character boundary.
int LoadTrackNotes(const LibraryOpening& opening);

// Empties the store (start of a test).
void ResetTrackNotes();
