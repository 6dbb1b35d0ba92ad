// The JSON zubweb serves and accepts: the status, the disc list, errors and
// the commands of POST /api/command. Pure: no sockets, no HTTP.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/remote_records.h"

// What the web remote knows of the controller at one moment.
struct WebStatus {
    bool reachable = false;  // the last status query got its reply
    RemoteStatusRecord status;
    std::string artist;  // the current disc's catalogue line, as bytes
    std::string title;
    int scanFirstSlot = 0;  // the running scan's first slot as zubweb saw it; 0 for none
};

// One JSON object on one line: "reachable", the fields of StatusRecordJson,
// then "artist", "title" and "scan_first_slot". Unreachable: {"reachable": false, "error": ...}.
// A changer index of 0 or more comes first as "changer" (the events of one
// zubweb serving several changers); -1 leaves it out.
std::string StatusJson(const WebStatus& status, int changer = -1);

// One changer of GET /api/changers.
struct WebChangerListing {
    int index = 0;
    std::string name;  // the --remote name, else "HOST:PORT"
    std::string host;
    uint16_t port = 0;
    bool reachable = false;
};

// The changers as a JSON array: index, name, host, port, reachable.
std::string ChangersJson(const std::vector<WebChangerListing>& changers);

// The present slots of a magazine reply as a JSON array, slot 1 first.
std::string DiscsJson(const std::vector<RemoteSlotRecord>& slots);

std::string ErrorJson(const std::string& message);

// The texts as a JSON array to put inside a page's <script>: every "<" is
// written \u003c so no text can end the script.
std::string ScriptJsonTexts(const std::vector<std::string>& texts);

// A remote request that a web command stands for.
struct WebCommand {
    int32_t command = 0;  // RemoteCommand
    int32_t disc = 0;
    int32_t track = 0;
    std::string text;  // a text request's text (remote_names.h)
};

const int kWebCommandMaxBody = 4096;

// Parses a command body: {"command": "play" | "pause" | "stop" | "next" |
// "restart" | "shuffle" | "disc" | "track", "disc": 1..100, "track": 1..99}
// (disc for "disc" and "track", track for "track"). On bad JSON, an unknown
// command or numbers missing or out of range: false with a message.
bool ParseWebCommand(const std::string& body, WebCommand* command, std::string* error);

// Parses the body of POST /api/scan: {} or empty for the whole magazine,
// {"first": F} for slot F alone, {"first": F, "last": L} (or "last" alone,
// from slot 1) for F..L; slots 1..100, first not after last. Otherwise false
// with a message.
bool ParseWebScan(const std::string& body, WebCommand* command, std::string* error);

// What POST /api/command (and POST /api/scan) answers for a command, given whether the changer is
// scanning. The controller drops Play, Pause, Stop and a rescan during a
// scan (the window is busy with it); the play requests wait for the scan's
// end.
struct WebCommandAnswer {
    bool send = true;  // pass the command on to the controller
    int status = 200;  // HTTP status once it is sent (or refused)
    std::string body;
};
WebCommandAnswer AnswerWebCommand(int32_t command, bool scanning);
