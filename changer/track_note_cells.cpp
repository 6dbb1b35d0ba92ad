// Texts of the track list's note cells.
#include "changer/track_note_cells.h"

#include <cstdio>
#include <ctime>

#include "base/display_text.h"

std::string PlayedText(int64_t playCount, int64_t lastPlayed) {
    if (playCount <= 0) {
        return "";
    }
    std::string text = std::to_string(playCount);
    std::time_t at = static_cast<std::time_t>(lastPlayed);
    std::tm local = {};
#ifdef _WIN32
    bool dated = lastPlayed > 0 && localtime_s(&local, &at) == 0;
#else
    bool dated = lastPlayed > 0 && localtime_r(&at, &local) != nullptr;
#endif
    if (dated) {
        char date[32];
        std::snprintf(date, sizeof date, ", %04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday);
        text += date;
    }
    return text;
}

TrackNoteCells CellsOfTrack(const TrackNote& note, const std::string& discStyle) {
    TrackNoteCells cells;
    cells.title = Utf8TextToCp1252(note.title);
    cells.style = Utf8TextToCp1252(note.style.empty() ? discStyle : note.style);
    cells.played = PlayedText(note.playCount, note.lastPlayed);
    return cells;
}
