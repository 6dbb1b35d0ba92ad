// The names, styles and plays routes of zubweb: their paths, the JSON they
// accept and serve, and the disc list's filter. Pure: no sockets, no HTTP.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "protocol/remote_names.h"
#include "protocol/remote_records.h"

//   GET  discs/N/tracks     the tracks of slot N
//   POST discs/N            {"artist"?, "title"?, "style"?}
//   POST discs/N/tracks/T   {"title"?, "style"?}
//   POST random             {"style": NAME}; empty or absent: every track
//   GET  history            ?limit=1..kRemoteHistoryEntries
//   GET  styles             every disc's and track's style, for the picker
// each after /api/ or /api/changers/K/.
enum class NamesRoute { kNone, kTracks, kSetDisc, kSetTrack, kRandom, kHistory, kStyles };

struct NamesRouteMatch {
    NamesRoute route = NamesRoute::kNone;
    int slot = 0;
    int track = 0;
    int status = 404;  // with kNone: 404, 405, or 400 for a slot or track out of range
    std::string error;
};

// Whether rest (the path after the prefix) is one of these routes' paths.
bool IsNamesPath(const std::string& rest);
NamesRouteMatch MatchNamesRoute(const std::string& method, const std::string& rest);

// One text request to send.
struct WebTextRequest {
    int32_t command = 0;
    int32_t slot = 0;
    int32_t track = 0;  // 0 for a disc's names
    std::string text;
};

// The requests a body of POST discs/N (track 0) or discs/N/tracks/T sets,
// each text checked as the controller checks it. False with a message on
// bad JSON, an unknown or repeated field, a text that is not a string or
// not allowed, or no field at all.
bool ParseWebNames(const std::string& body, int32_t slot, int32_t track,
                   std::vector<WebTextRequest>* requests, std::string* error);

// The style of POST random: "" for every track.
bool ParseWebRandom(const std::string& body, std::string* style, std::string* error);

// The limit of GET history: empty for all kRemoteHistoryEntries.
bool ParseHistoryLimit(const std::string& text, int* limit, std::string* error);

// The HTTP status and message for a text request's answer; 200 when done.
int NamesAnswerStatus(const RemoteAnswerRecord& answer);

// {"slot", "first_track", "track_count", "style", "tracks": [{"track",
// "title", "style", "plays", "last_played"}]}: last_played is the latest
// play's time in history (seconds since 1970, UTC), null when not there.
std::string TracksJson(const RemoteTracksRecord& tracks, const RemoteHistoryRecord& history);

// {"recent": [...], "most_played": [...]}, each at most limit plays:
// slot, disc_id, track, title, style, plays, played_at.
std::string HistoryJson(const RemoteHistoryRecord& history, int limit);

// What the filter looks through: every present slot's magazine record and
// the tracks known of it (absent: not fetched yet).
struct WebDiscIndex {
    std::vector<RemoteSlotRecord> slots;       // kRemoteMagazineSlots, slot 1 first
    std::map<int, RemoteTracksRecord> tracks;  // by slot
    // By slot, what the filter searches, as DiscSearchText gives it; a slot
    // not here is searched from the records above.
    std::map<int, std::string> texts;
};

// The texts the filter searches for slot (1-based): its number, artist,
// title, disc style and tracks' titles and styles, in UTF-8, ASCII letters
// in lower case, one per line.
std::string DiscSearchText(const WebDiscIndex& index, int slot);

// The present slots whose number, artist, title, disc style or a track's
// title or style holds q, without regard to ASCII case; as DiscsJson.
std::vector<int> MatchingSlots(const WebDiscIndex& index, const std::string& q);
std::string FilteredDiscsJson(const WebDiscIndex& index, const std::string& q);

// The styles a style shuffle can select: of each present disc's tracks, a
// track's own style, else its disc's; each once without regard to ASCII
// case (the first spelling met, in slot order), sorted that way.
// {"styles": [...]}.
std::vector<std::string> KnownStyles(const WebDiscIndex& index);
std::string StylesJson(const WebDiscIndex& index);
