// The track list's Title, Style and Played cells from the store of names
// and plays.
#pragma once

#include <cstdint>
#include <string>

#include "changer/track_notes.h"

// Columns of the track list.
const int kTrackTitleColumn = 3;
const int kTrackStyleColumn = 4;
const int kTrackPlayedColumn = 5;

// The Played cell: "" for a track never played, else the count and the
// local date of the last play, as "3, 2026-12-09".
std::string PlayedText(int64_t playCount, int64_t lastPlayed);

// The three cells of one track: its title, its style (else its disc's) and
// its plays; each "" when the store has nothing. The store's UTF-8 texts
// are given in Windows-1252, the code page the window shows.
struct TrackNoteCells {
    std::string title;
    std::string style;
    std::string played;
};
TrackNoteCells CellsOfTrack(const TrackNote& note, const std::string& discStyle);
