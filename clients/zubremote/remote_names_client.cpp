// The names, styles and plays commands of zubremote.
#include "clients/zubremote/remote_names_client.h"

#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "base/bounded_int.h"
#include "base/changer_facts.h"
#include "base/display_text.h"
#include "clients/zubremote/remote_client.h"
#include "protocol/record_json.h"
#include "protocol/remote_name_check.h"
#include "protocol/remote_names.h"

namespace {

// A text option of a command: its name, the request it makes and the
// check of its value.
struct TextOption {
    const char* option;
    int32_t command;
    RemoteNameKind kind;
};

// The commands, each with its numbers and the options it takes.
struct NamesCommand {
    const char* name;
    int numbers;  // 1: slot; 2: slot and track
    std::vector<TextOption> options;
    int32_t query;  // the query it sends (tracks, history); 0: text requests
};

const std::vector<NamesCommand>& NamesCommands() {
    static const std::vector<NamesCommand> commands = {
        {"set-disc",
         1,
         {{"--artist", REMOTE_SET_ARTIST, NameArtist},
          {"--title", REMOTE_SET_TITLE, NameDiscTitle},
          {"--style", REMOTE_SET_DISC_STYLE, NameStyle}},
         0},
        {"set-track",
         2,
         {{"--title", REMOTE_SET_TRACK_TITLE, NameTrackTitle},
          {"--style", REMOTE_SET_TRACK_STYLE, NameStyle}},
         0},
        {"random", 0, {{"--style", REMOTE_STYLE_SHUFFLE, NameStyle}}, 0},
        {"tracks", 1, {}, REMOTE_TRACKS},
        {"history", 0, {}, REMOTE_HISTORY},
    };
    return commands;
}

const NamesCommand* FindNamesCommand(const std::string& name) {
    for (const NamesCommand& command : NamesCommands()) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

bool InRange(int32_t value, int32_t low, int32_t high, const std::string& name,
             std::string* problem) {
    if (value < low || value > high) {
        *problem = name + " " + std::to_string(value) + " is outside " + std::to_string(low) +
                   ".." + std::to_string(high);
        return false;
    }
    return true;
}

std::string Shown(const std::string& text) {
    return TerminalSafeText(CatalogueTextToUtf8(text));
}

std::string UtcTime(int64_t seconds) {
    std::time_t time = static_cast<std::time_t>(seconds);
    std::tm* utc = std::gmtime(&time);
    char text[32] = "?";
    if (utc != nullptr) {
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", utc);
    }
    return text;
}

// " \"Title\" [Style]", each part only when set.
std::string NamesText(const std::string& title, const std::string& style) {
    std::string text;
    if (!title.empty()) {
        text += " \"" + Shown(title) + "\"";
    }
    if (!style.empty()) {
        text += " [" + Shown(style) + "]";
    }
    return text;
}

bool CheckPlay(const unsigned char* record, const std::string& where, std::string* problem) {
    if (!InRange(ReadRemoteInt(record + kRemotePlaySlotOffset), 0, kSlotCount, where + " slot",
                 problem) ||
        !InRange(ReadRemoteInt(record + kRemotePlayTrackOffset), 0, kLargestTrack, where + " track",
                 problem) ||
        !InRange(ReadRemoteInt(record + kRemotePlayCountOffset), 0, INT32_MAX, where + " plays",
                 problem)) {
        return false;
    }
    if (!IsTerminatedText(record + kRemotePlayDiscIdOffset, kRemoteSlotIdSize + 1) ||
        !IsTerminatedText(record + kRemotePlayTitleOffset, kRemoteNameFieldSize) ||
        !IsTerminatedText(record + kRemotePlayStyleOffset, kRemoteStyleFieldSize)) {
        *problem = where + " has texts that are not terminated";
        return false;
    }
    return true;
}

}  // namespace

bool IsRemoteNamesCommand(const std::string& name) {
    return FindNamesCommand(name) != nullptr;
}

bool ParseRemoteNamesCommand(const std::vector<std::string>& args, size_t at,
                             RemoteClientOptions* options, std::string* error) {
    const NamesCommand& command = *FindNamesCommand(args[at]);
    const std::string name = command.name;
    size_t next = at + 1;
    int64_t numbers[2] = {0, 0};
    const NumberBounds bounds[2] = {{command.name, 1, kSlotCount, "slot"},
                                    {command.name, 1, kLargestTrack, "track number"}};
    for (int i = 0; i < command.numbers; ++i, ++next) {
        if (next >= args.size() || args[next].compare(0, 2, "--") == 0) {
            *error = name + " takes " + (command.numbers == 1 ? "a slot" : "a slot and a track");
            return false;
        }
        if (!ParseBoundedInt(args[next], bounds[i], &numbers[i], error)) {
            options->numberRefused = true;
            return false;
        }
    }
    options->disc = static_cast<int32_t>(numbers[0]);
    options->track = static_cast<int32_t>(numbers[1]);
    options->command = command.query;

    std::vector<bool> given(command.options.size(), false);
    for (; next < args.size(); ++next) {
        const std::string& option = args[next];
        if (option == "--json") {
            options->json = true;
            continue;
        }
        size_t k = 0;
        while (k < command.options.size() && option != command.options[k].option) {
            ++k;
        }
        if (k == command.options.size()) {
            *error = name + ": unknown argument " + option;
            return false;
        }
        if (given[k]) {
            *error = name + ": " + option + " given twice";
            return false;
        }
        if (next + 1 >= args.size()) {
            *error = name + ": " + option + " needs a value";
            return false;
        }
        const TextOption& text = command.options[k];
        const std::string& value = args[++next];
        std::string problem = CheckRemoteName(text.kind, value);
        if (problem.empty() && text.command == REMOTE_STYLE_SHUFFLE && value.empty()) {
            problem = "the style to shuffle is empty";
        }
        if (!problem.empty()) {
            *error = name + ": " + problem;
            options->numberRefused = true;
            return false;
        }
        given[k] = true;
        options->texts.push_back({text.command, options->disc, options->track, value});
    }
    if (command.query == 0 && options->texts.empty()) {
        std::string names;
        for (const TextOption& text : command.options) {
            names += (names.empty() ? "" : " or ") + std::string(text.option);
        }
        *error = name + " needs " + names;
        return false;
    }
    return true;
}

bool CheckRemoteAnswer(const unsigned char* reply, std::string* problem) {
    RemoteAnswerRecord answer = DecodeRemoteAnswer(reply);
    if (!InRange(answer.result, RemoteAnswerDone, RemoteAnswerFailed, "result", problem) ||
        !InRange(answer.value, 0, INT32_MAX, "count", problem)) {
        return false;
    }
    if (!IsTerminatedText(reply + kRemoteAnswerMessageOffset, kRemoteAnswerMessageSize)) {
        *problem = "the answer's message is not a terminated text";
        return false;
    }
    return true;
}

bool CheckRemoteTracksReply(const unsigned char* reply, std::string* problem) {
    int32_t count = ReadRemoteInt(reply + kRemoteTracksCountOffset);
    if (!InRange(ReadRemoteInt(reply + kRemoteTracksSlotOffset), 0, kSlotCount, "slot", problem) ||
        !InRange(ReadRemoteInt(reply + kRemoteTracksFirstOffset), 0, kLargestTrack, "first track",
                 problem) ||
        !InRange(count, 0, kLargestTrack, "track count", problem)) {
        return false;
    }
    if (!IsTerminatedText(reply + kRemoteTracksStyleOffset, kRemoteStyleFieldSize)) {
        *problem = "the disc's style is not a terminated text";
        return false;
    }
    for (int32_t i = 0; i < kLargestTrack; ++i) {
        const unsigned char* record =
            reply + kRemoteTracksRecordsOffset + i * kRemoteTrackRecordSize;
        std::string where = "track record " + std::to_string(i + 1);
        if (i >= count) {
            if (!AllZero(record, kRemoteTrackRecordSize)) {
                *problem = where + " is beyond the count and not empty";
                return false;
            }
            continue;
        }
        if (!InRange(ReadRemoteInt(record + kRemoteTrackNumberOffset), 1, kLargestTrack,
                     where + " track", problem) ||
            !InRange(ReadRemoteInt(record + kRemoteTrackPlaysOffset), 0, INT32_MAX,
                     where + " plays", problem)) {
            return false;
        }
        if (!IsTerminatedText(record + kRemoteTrackTitleOffset, kRemoteNameFieldSize) ||
            !IsTerminatedText(record + kRemoteTrackStyleOffset, kRemoteStyleFieldSize)) {
            *problem = where + " has texts that are not terminated";
            return false;
        }
    }
    return true;
}

bool CheckRemoteHistoryReply(const unsigned char* reply, std::string* problem) {
    const int32_t counts[2] = {ReadRemoteInt(reply + kRemoteHistoryRecentCountOffset),
                               ReadRemoteInt(reply + kRemoteHistoryMostCountOffset)};
    const char* lists[2] = {"recent play", "most played"};
    for (int list = 0; list < 2; ++list) {
        if (!InRange(counts[list], 0, kRemoteHistoryEntries, std::string(lists[list]) + " count",
                     problem)) {
            return false;
        }
        const unsigned char* records = reply + kRemoteHistoryRecordsOffset +
                                       list * kRemoteHistoryEntries * kRemotePlayRecordSize;
        for (int32_t i = 0; i < kRemoteHistoryEntries; ++i) {
            const unsigned char* record = records + i * kRemotePlayRecordSize;
            std::string where = std::string(lists[list]) + " " + std::to_string(i + 1);
            if (i >= counts[list] ? !AllZero(record, kRemotePlayRecordSize)
                                  : !CheckPlay(record, where, problem)) {
                if (i >= counts[list]) {
                    *problem = where + " is beyond the count and not empty";
                }
                return false;
            }
        }
    }
    return true;
}

std::string RemoteTracksText(const unsigned char* reply, bool json) {
    RemoteTracksRecord tracks = DecodeRemoteTracks(reply);
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const RemoteTrackRecord& track : tracks.tracks) {
            list.push_back({{"track", track.track},
                            {"title", CatalogueTextToUtf8(track.title)},
                            {"style", CatalogueTextToUtf8(track.style)},
                            {"plays", track.plays}});
        }
        nlohmann::ordered_json object = {{"slot", tracks.slot},
                                         {"first_track", tracks.firstTrack},
                                         {"track_count", tracks.tracks.size()},
                                         {"style", CatalogueTextToUtf8(tracks.style)},
                                         {"tracks", list}};
        return DumpJson(object) + "\n";
    }
    std::string text = "slot " + std::to_string(tracks.slot);
    if (tracks.tracks.empty()) {
        return text + " holds no disc with tracks\n";
    }
    text += " tracks " + std::to_string(tracks.firstTrack) + "-" +
            std::to_string(tracks.firstTrack + static_cast<int>(tracks.tracks.size()) - 1);
    text += tracks.style.empty() ? "\n" : " style " + Shown(tracks.style) + "\n";
    for (const RemoteTrackRecord& track : tracks.tracks) {
        text += std::to_string(track.track) + NamesText(track.title, track.style) + " plays " +
                std::to_string(track.plays) + "\n";
    }
    return text;
}

std::string RemoteHistoryText(const unsigned char* reply, bool json) {
    RemoteHistoryRecord history = DecodeRemoteHistory(reply);
    if (json) {
        return DumpJson(HistoryRecordJson(history, kRemoteHistoryEntries)) + "\n";
    }
    auto where = [](const RemotePlayRecord& play) {
        std::string slot =
            play.slot != 0 ? "slot " + std::to_string(play.slot) : "not in the magazine";
        return Shown(play.discId) + " (" + slot + ") track " + std::to_string(play.track) +
               NamesText(play.title, play.style);
    };
    std::string text = "recent plays:\n";
    for (const RemotePlayRecord& play : history.recent) {
        text += UtcTime(play.playedAt) + " UTC " + where(play) + "\n";
    }
    text += "most played:\n";
    for (const RemotePlayRecord& play : history.mostPlayed) {
        text += std::to_string(play.plays) + (play.plays == 1 ? " play " : " plays ") +
                where(play) + ", last " + UtcTime(play.playedAt) + " UTC\n";
    }
    return text;
}

std::string StyleShuffleText(const std::string& style, int32_t count, bool json) {
    if (json) {
        return DumpJson({{"style", CatalogueTextToUtf8(style)}, {"tracks", count}}) + "\n";
    }
    if (count == 0) {
        return "no track has the style " + Shown(style) + "; the playlist is as it was";
    }
    return "shuffling " + std::to_string(count) + (count == 1 ? " track" : " tracks") +
           " of the style " + Shown(style) + "\n";
}
