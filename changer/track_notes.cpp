// The in-memory store of disc styles, track names, play counts and the
// history of plays, and its queueing to the library.
#include "changer/track_notes.h"

#include <algorithm>
#include <deque>
#include <map>
#include <utility>

#include "base/changer_facts.h"
#include "base/display_text.h"
#include "changer/magazine_memory.h"
#include "changer/style_select.h"

std::mutex g_hNotesMutex;

namespace {

using TrackKey = std::pair<std::string, int>;

// Guarded by g_hNotesMutex.
std::map<std::string, std::string> discStyles;  // only non-empty styles
std::map<TrackKey, TrackNote> trackNotes;
std::deque<PlayRecord> recentPlays;  // oldest first

bool Report(const std::string& text, std::string* problem) {
    if (problem != nullptr) {
        *problem = text;
    }
    return text.empty();
}

bool IsControlByte(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// A title or style as the library holds it, cut to limit bytes at a
// character boundary; false when no cut could make it one (a control byte).
bool StoredText(const std::string& stored, int limit, std::string* text) {
    if (std::any_of(stored.begin(), stored.end(), IsControlByte)) {
        return false;
    }
    *text = CutTextAtCharacter(stored, limit);
    return true;
}

void AddRecentPlay(PlayRecord play) {
    recentPlays.push_back(std::move(play));
    while (recentPlays.size() > static_cast<size_t>(kRecentPlaysKept)) {
        recentPlays.pop_front();
    }
}

// Why text cannot be kept as what ("a title"), at most limit bytes; empty
// when it can.
std::string NoteTextProblem(const std::string& text, int limit, const char* what) {
    if (text.size() > static_cast<size_t>(limit)) {
        return std::string(what) + " has at most " + std::to_string(limit) + " bytes";
    }
    if (std::any_of(text.begin(), text.end(), IsControlByte)) {
        return std::string(what) + " has no control characters";
    }
    return "";
}

}  // namespace

std::string DiscIdProblem(const std::string& discId) {
    if (discId.empty() || discId.size() > static_cast<size_t>(kDiscIdLength)) {
        return "a disc identifier has 1 to " + std::to_string(kDiscIdLength) + " characters";
    }
    if (std::any_of(discId.begin(), discId.end(), IsControlByte)) {
        return "a disc identifier has no control characters";
    }
    return "";
}

std::string TrackProblem(int track) {
    if (track < 0 || track > kLargestTrack) {
        return "a track is numbered 0 to " + std::to_string(kLargestTrack);
    }
    return "";
}

std::string NoteTitleProblem(const std::string& title) {
    return NoteTextProblem(title, kNoteTitleLength, "a title");
}

std::string NoteStyleProblem(const std::string& style) {
    return NoteTextProblem(style, kNoteStyleLength, "a style");
}

bool SetDiscStyle(const std::string& discId, const std::string& style, std::string* problem) {
    std::string why = DiscIdProblem(discId);
    if (why.empty()) {
        why = NoteStyleProblem(style);
    }
    if (!Report(why, problem)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_hNotesMutex);
    if (style.empty()) {
        discStyles.erase(discId);
    } else {
        discStyles[discId] = style;
    }
    if (g_hLibrary != nullptr) {
        g_hLibrary->StoreDiscStyle({discId, style});
    }
    return true;
}

bool SetTrackTitleStyle(const std::string& discId, int track, const std::string& title,
                        const std::string& style, std::string* problem) {
    std::string why = DiscIdProblem(discId);
    for (const std::string& next :
         {TrackProblem(track), NoteTitleProblem(title), NoteStyleProblem(style)}) {
        if (why.empty()) {
            why = next;
        }
    }
    if (!Report(why, problem)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_hNotesMutex);
    TrackNote& note = trackNotes[{discId, track}];
    note.title = title;
    note.style = style;
    if (g_hLibrary != nullptr) {
        g_hLibrary->StoreTrackNames({discId, track, title, style});
    }
    return true;
}

bool RecordPlay(const std::string& discId, int track, int64_t playedAt, std::string* problem) {
    std::string why = DiscIdProblem(discId);
    if (why.empty()) {
        why = TrackProblem(track);
    }
    if (!Report(why, problem)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_hNotesMutex);
    TrackNote& note = trackNotes[{discId, track}];
    ++note.playCount;
    note.lastPlayed = std::max(note.lastPlayed, playedAt);
    AddRecentPlay({playedAt, discId, track});
    if (g_hLibrary != nullptr) {
        g_hLibrary->StorePlay({playedAt, discId, track});
    }
    return true;
}

std::string DiscStyle(const std::string& discId) {
    std::lock_guard<std::mutex> lock(g_hNotesMutex);
    auto found = discStyles.find(discId);
    return found != discStyles.end() ? found->second : std::string();
}

TrackNote TrackNotes(const std::string& discId, int track) {
    std::lock_guard<std::mutex> lock(g_hNotesMutex);
    auto found = trackNotes.find({discId, track});
    return found != trackNotes.end() ? found->second : TrackNote();
}

std::vector<PlayRecord> RecentPlays(int limit) {
    std::lock_guard<std::mutex> lock(g_hNotesMutex);
    std::vector<PlayRecord> plays;
    for (auto play = recentPlays.rbegin();
         play != recentPlays.rend() && static_cast<int>(plays.size()) < limit; ++play) {
        plays.push_back(*play);
    }
    return plays;
}

std::vector<TrackPlays> MostPlayed(int limit) {
    std::vector<TrackPlays> tracks;
    if (limit <= 0) {
        return tracks;
    }
    {
        std::lock_guard<std::mutex> lock(g_hNotesMutex);
        for (const auto& [key, note] : trackNotes) {
            if (note.playCount > 0) {
                tracks.push_back({key.first, key.second, note.playCount, note.lastPlayed});
            }
        }
    }
    // The map's order already sorts by identifier and track: a stable sort
    // keeps it among equals.
    std::stable_sort(tracks.begin(), tracks.end(), [](const TrackPlays& a, const TrackPlays& b) {
        if (a.playCount != b.playCount) {
            return a.playCount > b.playCount;
        }
        return a.lastPlayed > b.lastPlayed;
    });
    if (tracks.size() > static_cast<size_t>(limit)) {
        tracks.resize(limit);
    }
    return tracks;
}

std::vector<std::string> KnownStyles() {
    std::vector<std::string> named;
    {
        std::lock_guard<std::mutex> lock(g_hNotesMutex);
        for (const auto& entry : discStyles) {
            named.push_back(entry.second);
        }
        for (const auto& entry : trackNotes) {
            if (!entry.second.style.empty()) {
                named.push_back(entry.second.style);
            }
        }
    }
    std::sort(named.begin(), named.end());
    std::vector<std::string> styles;
    for (const std::string& style : named) {
        bool known = std::any_of(styles.begin(), styles.end(),
                                 [&](const std::string& kept) { return SameStyle(kept, style); });
        if (!known) {
            styles.push_back(style);
        }
    }
    return styles;
}

int LoadTrackNotes(const LibraryOpening& opening) {
    int leftOut = 0;
    std::map<std::string, std::string> styles;
    std::string title;
    std::string style;
    for (const StoredDiscStyle& stored : opening.discStyles) {
        if (!DiscIdProblem(stored.discId).empty() ||
            !StoredText(stored.style, kNoteStyleLength, &style)) {
            ++leftOut;
        } else if (!style.empty()) {
            styles[stored.discId] = style;
        }
    }
    std::map<TrackKey, TrackNote> notes;
    for (const StoredTrackNote& stored : opening.trackNotes) {
        if (!DiscIdProblem(stored.discId).empty() || stored.track < 0 ||
            stored.track > kLargestTrack || !StoredText(stored.title, kNoteTitleLength, &title) ||
            !StoredText(stored.style, kNoteStyleLength, &style) || stored.playCount < 0 ||
            stored.lastPlayed < 0) {
            ++leftOut;
            continue;
        }
        TrackNote& note = notes[{stored.discId, static_cast<int>(stored.track)}];
        note.title = title;
        note.style = style;
        note.playCount = stored.playCount;
        note.lastPlayed = stored.lastPlayed;
    }
    std::deque<PlayRecord> plays;
    for (const StoredPlay& stored : opening.recentPlays) {
        if (!DiscIdProblem(stored.discId).empty() || stored.track < 0 ||
            stored.track > kLargestTrack) {
            ++leftOut;
            continue;
        }
        plays.push_back({stored.playedAt, stored.discId, static_cast<int>(stored.track)});
    }
    std::lock_guard<std::mutex> lock(g_hNotesMutex);
    discStyles = std::move(styles);
    trackNotes = std::move(notes);
    recentPlays = std::move(plays);
    while (recentPlays.size() > static_cast<size_t>(kRecentPlaysKept)) {
        recentPlays.pop_front();
    }
    return leftOut;
}

void ResetTrackNotes() {
    std::lock_guard<std::mutex> lock(g_hNotesMutex);
    discStyles.clear();
    trackNotes.clear();
    recentPlays.clear();
}
