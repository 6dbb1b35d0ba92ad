// zubweb's names, styles and plays routes.
#include "clients/zubweb/web_names.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <nlohmann/json.hpp>

#include "base/changer_facts.h"
#include "base/display_text.h"
#include "clients/zubweb/web_json.h"
#include "protocol/record_json.h"
#include "protocol/remote_name_check.h"

namespace {

// A field of a names body: its key, the request it makes and its check.
struct NameField {
    const char* key;
    int32_t command;
    RemoteNameKind kind;
};

const NameField kDiscFields[] = {
    {"artist", REMOTE_SET_ARTIST, NameArtist},
    {"title", REMOTE_SET_TITLE, NameDiscTitle},
    {"style", REMOTE_SET_DISC_STYLE, NameStyle},
};
const NameField kTrackFields[] = {
    {"title", REMOTE_SET_TRACK_TITLE, NameTrackTitle},
    {"style", REMOTE_SET_TRACK_STYLE, NameStyle},
};

// A decimal number without leading zeros and at most digits
// long; -1 when text is none.
int ReadNumber(const std::string& text, size_t digits) {
    if (text.empty() || text.size() > digits || (text.size() > 1 && text[0] == '0')) {
        return -1;
    }
    int value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::vector<std::string> SplitPath(const std::string& rest) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (;;) {
        size_t slash = rest.find('/', at);
        parts.push_back(
            rest.substr(at, slash == std::string::npos ? std::string::npos : slash - at));
        if (slash == std::string::npos) {
            return parts;
        }
        at = slash + 1;
    }
}

NamesRouteMatch Refuse(int status, const std::string& error) {
    NamesRouteMatch match;
    match.status = status;
    match.error = error;
    return match;
}

NamesRouteMatch Allow(const std::string& method, const char* allowed, NamesRoute route,
                      int slot = 0, int track = 0) {
    if (method != allowed) {
        return Refuse(405, std::string("use ") + allowed + " here");
    }
    NamesRouteMatch match;
    match.route = route;
    match.slot = slot;
    match.track = track;
    match.status = 200;
    return match;
}

bool ParseObject(const std::string& body, nlohmann::json* object, std::string* error) {
    *object = nlohmann::json::parse(body, nullptr, false);
    if (object->is_discarded() || !object->is_object()) {
        *error = "the body must be a JSON object";
        return false;
    }
    return true;
}

std::string Lower(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

void AddSearched(const std::string& text, std::string* searched) {
    if (!text.empty()) {
        *searched += Lower(CatalogueTextToUtf8(text));
        *searched += '\n';
    }
}

}  // namespace

bool IsNamesPath(const std::string& rest) {
    return rest == "random" || rest == "history" || rest == "styles" ||
           rest.compare(0, 6, "discs/") == 0;
}

NamesRouteMatch MatchNamesRoute(const std::string& method, const std::string& rest) {
    if (rest == "random") {
        return Allow(method, "POST", NamesRoute::kRandom);
    }
    if (rest == "history") {
        return Allow(method, "GET", NamesRoute::kHistory);
    }
    if (rest == "styles") {
        return Allow(method, "GET", NamesRoute::kStyles);
    }
    std::vector<std::string> parts = SplitPath(rest);
    if (parts.size() < 2 || parts.size() > 4 || parts[0] != "discs" ||
        (parts.size() >= 3 && parts[2] != "tracks")) {
        return Refuse(404, "no such route");
    }
    // A number out of range is bad input (400), other text no route (404).
    int slot = ReadNumber(parts[1], 3);
    if (slot < 0) {
        return Refuse(404, "no such route");
    }
    if (!CheckRemoteSlot(slot).empty()) {
        return Refuse(400, CheckRemoteSlot(slot));
    }
    if (parts.size() == 2) {
        return Allow(method, "POST", NamesRoute::kSetDisc, slot);
    }
    if (parts.size() == 3) {
        return Allow(method, "GET", NamesRoute::kTracks, slot);
    }
    int track = ReadNumber(parts[3], 3);
    if (track < 0) {
        return Refuse(404, "no such route");
    }
    if (!CheckRemoteTrackNumber(track).empty()) {
        return Refuse(400, CheckRemoteTrackNumber(track));
    }
    return Allow(method, "POST", NamesRoute::kSetTrack, slot, track);
}

bool ParseWebNames(const std::string& body, int32_t slot, int32_t track,
                   std::vector<WebTextRequest>* requests, std::string* error) {
    nlohmann::json object;
    if (!ParseObject(body, &object, error)) {
        return false;
    }
    const NameField* fields = track == 0 ? kDiscFields : kTrackFields;
    const size_t count = track == 0 ? std::size(kDiscFields) : std::size(kTrackFields);
    for (auto item = object.begin(); item != object.end(); ++item) {
        bool known = false;
        for (size_t i = 0; i < count; ++i) {
            known = known || item.key() == fields[i].key;
        }
        if (!known) {
            std::string keys;
            for (size_t i = 0; i < count; ++i) {
                keys += std::string(i == 0           ? ""
                                    : i + 1 == count ? " or "
                                                     : ", ") +
                        '"' + fields[i].key + '"';
            }
            *error = "unknown field \"" + item.key().substr(0, 40) + "\": a " +
                     (track == 0 ? "disc" : "track") + " takes " + keys;
            return false;
        }
    }
    requests->clear();
    for (size_t i = 0; i < count; ++i) {
        auto value = object.find(fields[i].key);
        if (value == object.end()) {
            continue;
        }
        if (!value->is_string()) {
            *error = std::string("\"") + fields[i].key + "\" must be a text";
            return false;
        }
        std::string text = value->get<std::string>();
        std::string problem = CheckRemoteName(fields[i].kind, text);
        if (!problem.empty()) {
            *error = problem;
            return false;
        }
        requests->push_back({fields[i].command, slot, track, text});
    }
    if (requests->empty()) {
        *error = track == 0 ? "nothing to set: give \"artist\", \"title\" or \"style\""
                            : "nothing to set: give \"title\" or \"style\"";
        return false;
    }
    return true;
}

bool ParseWebRandom(const std::string& body, std::string* style, std::string* error) {
    style->clear();
    if (body.empty()) {
        return true;
    }
    nlohmann::json object;
    if (!ParseObject(body, &object, error)) {
        return false;
    }
    for (auto item = object.begin(); item != object.end(); ++item) {
        if (item.key() != "style") {
            *error = "unknown field \"" + item.key().substr(0, 40) + "\": random takes \"style\"";
            return false;
        }
    }
    auto value = object.find("style");
    if (value == object.end() || value->is_null()) {
        return true;
    }
    if (!value->is_string()) {
        *error = "\"style\" must be a text";
        return false;
    }
    *style = value->get<std::string>();
    *error = CheckRemoteName(NameStyle, *style);
    return error->empty();
}

bool ParseHistoryLimit(const std::string& text, int* limit, std::string* error) {
    if (text.empty()) {
        *limit = kRemoteHistoryEntries;
        return true;
    }
    *limit = ReadNumber(text, 3);
    if (*limit < 1 || *limit > kRemoteHistoryEntries) {
        *error = "limit must be 1 to " + std::to_string(kRemoteHistoryEntries);
        return false;
    }
    return true;
}

int NamesAnswerStatus(const RemoteAnswerRecord& answer) {
    switch (answer.result) {
        case RemoteAnswerDone:
            return 200;
        case RemoteAnswerRefused:
            return 400;
        default:
            return 409;
    }
}

std::string TracksJson(const RemoteTracksRecord& tracks, const RemoteHistoryRecord& history) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const RemoteTrackRecord& track : tracks.tracks) {
        int64_t last = -1;
        for (const auto* plays : {&history.recent, &history.mostPlayed}) {
            for (const RemotePlayRecord& play : *plays) {
                if (play.slot == tracks.slot && play.track == track.track) {
                    last = std::max(last, play.playedAt);
                }
            }
        }
        list.push_back({{"track", track.track},
                        {"title", CatalogueTextToUtf8(track.title)},
                        {"style", CatalogueTextToUtf8(track.style)},
                        {"plays", track.plays},
                        {"last_played", last >= 0 ? nlohmann::ordered_json(last) : nullptr}});
    }
    return DumpJson({{"slot", tracks.slot},
                     {"first_track", tracks.firstTrack},
                     {"track_count", tracks.tracks.size()},
                     {"style", CatalogueTextToUtf8(tracks.style)},
                     {"tracks", list}});
}

std::string HistoryJson(const RemoteHistoryRecord& history, int limit) {
    return DumpJson(HistoryRecordJson(history, limit));
}

std::string DiscSearchText(const WebDiscIndex& index, int slot) {
    const RemoteSlotRecord& record = index.slots[slot - 1];
    std::string searched = std::to_string(slot) + "\n";
    AddSearched(record.artist, &searched);
    AddSearched(record.title, &searched);
    auto tracks = index.tracks.find(slot);
    if (tracks != index.tracks.end()) {
        AddSearched(tracks->second.style, &searched);
        for (const RemoteTrackRecord& track : tracks->second.tracks) {
            AddSearched(track.title, &searched);
            AddSearched(track.style, &searched);
        }
    }
    return searched;
}

std::vector<int> MatchingSlots(const WebDiscIndex& index, const std::string& q) {
    const std::string lowerQ = Lower(q);
    std::vector<int> found;
    for (size_t i = 0; i < index.slots.size(); ++i) {
        if (!index.slots[i].present) {
            continue;
        }
        const int number = static_cast<int>(i + 1);
        auto known = index.texts.find(number);
        bool match = known != index.texts.end()
                         ? known->second.find(lowerQ) != std::string::npos
                         : DiscSearchText(index, number).find(lowerQ) != std::string::npos;
        if (match) {
            found.push_back(number);
        }
    }
    return found;
}

std::string FilteredDiscsJson(const WebDiscIndex& index, const std::string& q) {
    std::vector<RemoteSlotRecord> shown(index.slots.size());
    for (int number : MatchingSlots(index, q)) {
        shown[number - 1] = index.slots[number - 1];
    }
    return DiscsJson(shown);
}

std::vector<std::string> KnownStyles(const WebDiscIndex& index) {
    std::map<std::string, std::string> byLower;  // first spelling met of each
    auto add = [&byLower](const std::string& style) {
        std::string text = CatalogueTextToUtf8(style);
        if (!text.empty()) {
            byLower.emplace(Lower(text), text);
        }
    };
    for (size_t i = 0; i < index.slots.size(); ++i) {
        auto tracks = index.tracks.find(static_cast<int>(i + 1));
        if (!index.slots[i].present || tracks == index.tracks.end()) {
            continue;
        }
        // A track's own style, else its disc's: the style a shuffle selects it by.
        for (const RemoteTrackRecord& track : tracks->second.tracks) {
            add(track.style.empty() ? tracks->second.style : track.style);
        }
    }
    std::vector<std::string> styles;
    for (const auto& entry : byLower) {
        styles.push_back(entry.second);
    }
    return styles;
}

std::string StylesJson(const WebDiscIndex& index) {
    return DumpJson({{"styles", KnownStyles(index)}});
}
