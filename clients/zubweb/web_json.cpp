// zubweb's JSON, with nlohmann::json.
#include "clients/zubweb/web_json.h"

#include <nlohmann/json.hpp>

#include "base/changer_facts.h"
#include "base/display_text.h"
#include "protocol/record_json.h"
#include "protocol/remote_commands.h"

using nlohmann::json;

namespace {

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

std::string StatusJson(const WebStatus& web, int changer) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    if (changer >= 0) {
        out["changer"] = changer;
    }
    out["reachable"] = web.reachable;
    if (!web.reachable) {
        out["error"] = "controller not reachable";
        return DumpJson(out);
    }
    out.update(StatusRecordJson(web.status));
    out["artist"] = CatalogueTextToUtf8(web.artist);
    out["title"] = CatalogueTextToUtf8(web.title);
    out["scan_first_slot"] = web.scanFirstSlot;
    return DumpJson(out);
}

std::string DiscsJson(const std::vector<RemoteSlotRecord>& slots) {
    return DumpJson(MagazineJson(slots));
}

std::string ChangersJson(const std::vector<WebChangerListing>& changers) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const WebChangerListing& changer : changers) {
        list.push_back({{"index", changer.index},
                        {"name", changer.name},
                        {"host", changer.host},
                        {"port", changer.port},
                        {"reachable", changer.reachable}});
    }
    return DumpJson(list);
}

std::string ErrorJson(const std::string& message) {
    return DumpJson({{"error", message}});
}

std::string ScriptJsonTexts(const std::vector<std::string>& texts) {
    std::string escaped;
    for (char c : DumpJson(texts)) {
        escaped += c == '<' ? std::string("\\u003c") : std::string(1, c);
    }
    return escaped;
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
    // The commands that play or press a button: those answered with nothing.
    const RemoteCommandName* found = FindRemoteCommand(name->get<std::string>());
    // A rescan has a route of its own (ParseWebScan).
    if (found == nullptr || RemoteReplySize(found->command) != 0 || found->command == REMOTE_SCAN) {
        *error = "unknown command";
        return false;
    }
    WebCommand result;
    result.command = found->command;
    if (found->arguments >= 1 && !GetNumber(parsed, "disc", 1, kSlotCount, &result.disc, error)) {
        return false;
    }
    if (found->arguments >= 2 &&
        !GetNumber(parsed, "track", 1, kLargestTrack, &result.track, error)) {
        return false;
    }
    *command = result;
    return true;
}

bool ParseWebScan(const std::string& body, WebCommand* command, std::string* error) {
    if (body.size() > static_cast<size_t>(kWebCommandMaxBody)) {
        *error = "request body too long";
        return false;
    }
    json parsed = body.empty() ? json::object() : json::parse(body, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        *error = "the body must be a JSON object";
        return false;
    }
    WebCommand result;
    result.command = REMOTE_SCAN;
    result.disc = 1;
    result.track = kSlotCount;
    if (parsed.contains("first")) {
        if (!GetNumber(parsed, "first", 1, kSlotCount, &result.disc, error)) {
            return false;
        }
        result.track = result.disc;
    }
    if (parsed.contains("last") &&
        !GetNumber(parsed, "last", 1, kSlotCount, &result.track, error)) {
        return false;
    }
    if (result.disc > result.track) {
        *error = "\"first\" must not be after \"last\"";
        return false;
    }
    *command = result;
    return true;
}

WebCommandAnswer AnswerWebCommand(int32_t command, bool scanning) {
    WebCommandAnswer answer;
    answer.body = "{\"ok\": true}";
    if (!scanning) {
        return answer;
    }
    bool forwardedToWindow = command == REMOTE_PLAY || command == REMOTE_PAUSE ||
                             command == REMOTE_STOP || command == REMOTE_SCAN;
    if (forwardedToWindow) {
        answer.send = false;
        answer.status = 409;
        answer.body = ErrorJson("the changer is scanning");
    } else {
        answer.status = 202;
        answer.body = DumpJson(
            {{"ok", true}, {"waiting", "the changer is scanning; this runs when the scan ends"}});
    }
    return answer;
}
