// zubweb's JSON, with nlohmann::json.
#include "web/web_json.h"

#include <nlohmann/json.hpp>

#include "changer/status_poll.h"
#include "web/web_text.h"

using nlohmann::json;

namespace {

const int kMaxDisc = 100;
const int kMaxTrack = 99;

// Never throws: the texts are UTF-8 already, and anything else is replaced.
std::string Dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

struct CommandName {
    const char* name;
    int32_t command;
    bool needsDisc;
    bool needsTrack;
};

const CommandName kCommandNames[] = {
    {"play", REMOTE_PLAY, false, false},       {"pause", REMOTE_PAUSE, false, false},
    {"stop", REMOTE_STOP, false, false},       {"next", REMOTE_NEXT, false, false},
    {"restart", REMOTE_RESTART, false, false}, {"shuffle", REMOTE_SHUFFLE, false, false},
    {"disc", REMOTE_PLAY_DISC, true, false},   {"track", REMOTE_PLAY_TRACK, true, true},
};

// An integer field within minimum..maximum.
bool GetNumber(const json& body, const char* key, int minimum, int maximum, int32_t* out,
               std::string* error) {
    auto found = body.find(key);
    if (found == body.end()) {
        *error = std::string("\"") + key + "\" is missing";
        return false;
    }
    bool inRange = false;
    if (found->is_number_unsigned()) {
        uint64_t value = found->get<uint64_t>();
        inRange =
            value >= static_cast<uint64_t>(minimum) && value <= static_cast<uint64_t>(maximum);
        *out = static_cast<int32_t>(inRange ? value : 0);
    } else if (found->is_number_integer()) {
        int64_t value = found->get<int64_t>();
        inRange = value >= minimum && value <= maximum;
        *out = static_cast<int32_t>(inRange ? value : 0);
    } else {
        *error = std::string("\"") + key + "\" must be a whole number";
        return false;
    }
    if (!inRange) {
        *error = std::string("\"") + key + "\" must be " + std::to_string(minimum) + " to " +
                 std::to_string(maximum);
    }
    return inRange;
}

}  // namespace

const char* PlayModeName(int32_t mode) {
    switch (mode) {
        case ModePlay:
            return "play";
        case ModePause:
            return "pause";
        case ModeStop:
            return "stop";
        case ModeUnloaded:
            return "unloaded";
        case ModeShuffle:
            return "shuffle";
        case ModeWholeDisc:
            return "whole-disc";
        default:
            return "unknown";
    }
}

std::string StatusJson(const WebStatus& web) {
    if (!web.reachable) {
        return Dump({{"reachable", false}, {"error", "controller not reachable"}});
    }
    const RemoteStatusRecord& s = web.status;
    json next = nullptr;
    if (s.nextDisc != 0) {
        next = {{"disc", s.nextDisc}, {"track", s.nextTrack}};
    }
    json out = {
        {"reachable", true},
        {"answering", s.answering != 0},
        {"since_ms", s.sinceAnswerMs},
        {"mode", PlayModeName(s.mode)},
        {"code", CatalogueTextToUtf8(s.code)},
        {"status", CatalogueTextToUtf8(s.text)},
        {"disc", s.disc},
        {"track", s.track},
        {"index", s.index},
        {"track_time", s.trackSeconds},
        {"disc_time", s.discSeconds},
        {"autopause", s.autopause != 0},
        {"playlist_pos", s.playlistPos},
        {"playlist_count", s.playlistCount},
        {"next", next},
        {"artist", CatalogueTextToUtf8(web.artist)},
        {"title", CatalogueTextToUtf8(web.title)},
    };
    return Dump(out);
}

std::string DiscsJson(const std::vector<RemoteSlotRecord>& slots) {
    json list = json::array();
    for (size_t i = 0; i < slots.size(); ++i) {
        const RemoteSlotRecord& slot = slots[i];
        if (!slot.present) {
            continue;
        }
        list.push_back({
            {"slot", static_cast<int>(i + 1)},
            {"id", CatalogueTextToUtf8(slot.id)},
            {"first_track", slot.firstTrack},
            {"track_count", slot.trackCount},
            {"disc_time", slot.discSeconds},
            {"artist", CatalogueTextToUtf8(slot.artist)},
            {"title", CatalogueTextToUtf8(slot.title)},
        });
    }
    return Dump(list);
}

std::string ErrorJson(const std::string& message) {
    return Dump({{"error", message}});
}

bool ParseWebCommand(const std::string& body, WebCommand* command, std::string* error) {
    if (body.size() > static_cast<size_t>(kWebCommandMaxBody)) {
        *error = "request body too long";
        return false;
    }
    json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        *error = "the body must be a JSON object";
        return false;
    }
    auto name = parsed.find("command");
    if (name == parsed.end() || !name->is_string()) {
        *error = "\"command\" must be a text";
        return false;
    }
    const CommandName* found = nullptr;
    for (const CommandName& entry : kCommandNames) {
        if (name->get<std::string>() == entry.name) {
            found = &entry;
        }
    }
    if (found == nullptr) {
        *error = "unknown command";
        return false;
    }
    WebCommand result;
    result.command = found->command;
    if (found->needsDisc && !GetNumber(parsed, "disc", 1, kMaxDisc, &result.disc, error)) {
        return false;
    }
    if (found->needsTrack && !GetNumber(parsed, "track", 1, kMaxTrack, &result.track, error)) {
        return false;
    }
    *command = result;
    return true;
}
