// zubremote's command line, requests, reply checks and reply texts.
#include "clients/zubremote/remote_client.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/bounded_int.h"
#include "base/changer_facts.h"
#include "base/display_text.h"
#include "protocol/record_json.h"
#include "protocol/remote_commands.h"
#include "protocol/remote_names.h"
#include "protocol/remote_records.h"
#include "protocol/remote_reply_receive.h"

namespace {

const int kLongestTimeoutMs = 3600000;
const char kHttpStart[] = "HTTP/";
const int kHttpStartLength = sizeof kHttpStart - 1;

// An optional '-' and at least one digit, nothing else.
bool IsWholeNumberText(const std::string& text) {
    size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    if (start == text.size()) {
        return false;
    }
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

bool StartsAsHttp(const unsigned char* bytes, int count) {
    return count >= kHttpStartLength && std::memcmp(bytes, kHttpStart, kHttpStartLength) == 0;
}

const char kHttpAnswer[] = "the server answered in HTTP; it is not the changer controller";

// Why the receive of a reply ended short, as one phrase.
std::string ShortReply(const ReceiveResult& result, int expected, int timeoutMs) {
    std::string got = std::to_string(result.received) + " of " + std::to_string(expected);
    switch (result.end) {
        case ReceiveEnd::Closed:
            return "connection closed after " + got + " bytes";
        case ReceiveEnd::TimedOut:
            if (result.received == 0) {
                return "no reply within " + std::to_string(timeoutMs) + " ms";
            }
            return "only " + got + " bytes within " + std::to_string(timeoutMs) + " ms";
        default:
            return "connection failed after " + got + " bytes";
    }
}

// Reads an option's value at args[at + 1]; error when there is none.
bool OptionValue(const std::vector<std::string>& args, size_t* at, std::string* value,
                 std::string* error) {
    if (*at + 1 >= args.size()) {
        *error = args[*at] + " needs a value";
        return false;
    }
    *at += 1;
    *value = args[*at];
    return true;
}

}  // namespace

bool AllZero(const unsigned char* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

bool IsTerminatedText(const unsigned char* field, int size) {
    const void* end = std::memchr(field, 0, size);
    if (end == nullptr) {
        return false;
    }
    int textLength = static_cast<int>(static_cast<const unsigned char*>(end) - field);
    return AllZero(field + textLength, size - textLength);
}

const char* RemoteClientUsageText() {
    return "usage: zubremote [--host H] [--port P] [--timeout MS] [--json] COMMAND\n"
           "commands:\n"
           "  next          play the next entry of the shuffle playlist\n"
           "  pause         press Pause\n"
           "  play          press Play\n"
           "  stop          press Stop\n"
           "  restart       play the current track again\n"
           "  disc N        play disc N (1..100) from its first track\n"
           "  track D T     play track T (1..99) of disc D (1..100)\n"
           "  shuffle       return to the shuffle playlist\n"
           "  position      print the current disc and track\n"
           "  info          print disc, track, artist and title\n"
           "  status        print what the status panel shows and whether the changer answers\n"
           "  discs         list the discs of the last scan\n"
           "  scan [F [L]]  rescan slots F..L (1..100); one number: that slot; none: all\n"
           "  set-disc SLOT [--artist A] [--title T] [--style S]\n"
           "                name the disc in SLOT (catalogue) and give it a style (library)\n"
           "  set-track SLOT TRACK [--title T] [--style S]\n"
           "                name a track and give it a style (library)\n"
           "  tracks SLOT   list the disc's tracks with their titles, styles and plays\n"
           "  random --style NAME\n"
           "                shuffle the tracks of one style (a track's own, else its disc's)\n"
           "  history       list the recent plays and the most played tracks\n"
           "names: UTF-8, at most 64 bytes (a style 31), no control characters; an empty\n"
           "one clears the field; an artist or disc title holds no double quote\n"
           "exit codes: 0 done, 2 bad command line, 3 no connection, 4 no or bad reply,\n"
           "or refused by the controller\n";
}

bool ParseRemoteCommandLine(const std::vector<std::string>& args, RemoteClientOptions* options,
                            std::string* error) {
    size_t at = 0;
    for (; at < args.size() && args[at].compare(0, 2, "--") == 0; ++at) {
        const std::string& option = args[at];
        std::string text;
        int64_t number = 0;
        if (option == "--json") {
            options->json = true;
        } else if (option == "--host") {
            if (!OptionValue(args, &at, &text, error)) {
                return false;
            }
            if (text.empty()) {
                *error = "--host: no host given";
                return false;
            }
            options->host = text;
        } else if (option == "--port") {
            if (!OptionValue(args, &at, &text, error) ||
                !ParseBoundedInt(text, {"--port", 1, 65535, "port"}, &number, error)) {
                return false;
            }
            options->port = static_cast<uint16_t>(number);
        } else if (option == "--timeout") {
            if (!OptionValue(args, &at, &text, error) ||
                !ParseBoundedInt(text, {"--timeout", 1, kLongestTimeoutMs, "time-out in ms"},
                                 &number, error)) {
                return false;
            }
            options->timeoutMs = static_cast<int>(number);
        } else {
            *error = "unknown option " + option;
            return false;
        }
    }
    if (at >= args.size()) {
        *error = "no command given";
        return false;
    }
    if (IsRemoteNamesCommand(args[at])) {
        return ParseRemoteNamesCommand(args, at, options, error);
    }
    const RemoteCommandName* found = FindRemoteCommand(args[at]);
    if (found == nullptr) {
        *error = "unknown command " + args[at];
        return false;
    }
    const size_t given = args.size() - at - 1;
    const bool isScan = found->command == REMOTE_SCAN;
    if (isScan ? given > 2 : given != static_cast<size_t>(found->arguments)) {
        *error = std::string(found->name) + " takes " +
                 (isScan ? std::string("0 to 2") : std::to_string(found->arguments)) +
                 (found->arguments == 1 ? " number" : " numbers");
        return false;
    }
    options->command = found->command;
    // Only the numbers the program plays: any other it would ignore. A
    // whole number out of range is refused with one line; other text is a
    // typing error that points to --help.
    int64_t numbers[2] = {0, 0};
    const NumberBounds bounds[2] = {{"disc", 1, kSlotCount, "disc number"},
                                    {"track", 1, kLargestTrack, "track number"}};
    const NumberBounds scanBounds[2] = {{"scan", 1, kSlotCount, "first slot"},
                                        {"scan", 1, kSlotCount, "last slot"}};
    if (isScan) {
        // No number: the whole magazine; one: that slot alone.
        for (size_t i = 0; i < given; ++i) {
            const std::string& text = args[at + 1 + i];
            if (!ParseBoundedInt(text, scanBounds[i], &numbers[i], error)) {
                options->numberRefused = IsWholeNumberText(text);
                return false;
            }
        }
        options->disc = given == 0 ? 1 : static_cast<int32_t>(numbers[0]);
        options->track = given == 0   ? kSlotCount
                         : given == 1 ? options->disc
                                      : static_cast<int32_t>(numbers[1]);
        if (options->disc > options->track) {
            *error = "scan: first slot " + std::to_string(options->disc) + " is after last slot " +
                     std::to_string(options->track);
            options->numberRefused = true;
            return false;
        }
        return true;
    }
    for (int i = 0; i < found->arguments; ++i) {
        const std::string& text = args[at + 1 + i];
        if (!ParseBoundedInt(text, bounds[i], &numbers[i], error)) {
            options->numberRefused = IsWholeNumberText(text);
            return false;
        }
    }
    options->disc = static_cast<int32_t>(numbers[0]);
    options->track = static_cast<int32_t>(numbers[1]);
    return true;
}

namespace {

bool InRange(int32_t value, int32_t low, int32_t high, const char* name, std::string* problem) {
    if (value < low || value > high) {
        *problem = std::string(name) + " " + std::to_string(value) + " is outside " +
                   std::to_string(low) + ".." + std::to_string(high);
        return false;
    }
    return true;
}

bool CheckStatusReply(const unsigned char* reply, std::string* problem) {
    RemoteStatusRecord status = DecodeRemoteStatus(reply);
    if (!InRange(status.mode, 0, ModeWholeDisc, "mode", problem) ||
        !InRange(status.disc, 0, kSlotCount, "disc", problem) ||
        !InRange(status.track, 0, kLargestTrack, "track", problem) ||
        !InRange(status.nextDisc, 0, kSlotCount, "next disc", problem) ||
        !InRange(status.autopause, 0, 1, "autopause", problem) ||
        !InRange(status.answering, 0, 1, "answering", problem) ||
        !InRange(status.scanning, 0, 1, "scanning", problem) ||
        !InRange(status.scanSlot, 0, kSlotCount, "scan slot", problem) ||
        !InRange(status.scanLastSlot, 0, kSlotCount, "scan last slot", problem)) {
        return false;
    }
    if (!AllZero(reply + kRemoteStatusCodeOffset + 2, 2) ||
        !IsTerminatedText(reply + kRemoteStatusTextOffset, kRemoteStatusTextSize)) {
        *problem = "the status code and text are not as the program fills them";
        return false;
    }
    return true;
}

bool CheckMagazineReply(const unsigned char* reply, std::string* problem) {
    for (int i = 0; i < kRemoteMagazineSlots; ++i) {
        const unsigned char* slot = reply + i * kRemoteSlotSize;
        std::string where = "slot " + std::to_string(i + 1);
        int32_t present = ReadRemoteInt(slot + kRemoteSlotPresentOffset);
        if (present == 0 && AllZero(slot, kRemoteSlotSize)) {
            continue;
        }
        bool filled = present == 1 &&
                      IsTerminatedText(slot + kRemoteSlotIdOffset,
                                       kRemoteSlotFirstTrackOffset - kRemoteSlotIdOffset) &&
                      IsTerminatedText(slot + kRemoteSlotArtistOffset, kRemoteTextSize) &&
                      IsTerminatedText(slot + kRemoteSlotTitleOffset, kRemoteTextSize);
        if (!filled) {
            *problem = where + " is neither empty nor a disc as the program lists it";
            return false;
        }
        if (!InRange(ReadRemoteInt(slot + kRemoteSlotTrackCountOffset), 0, kLargestTrack,
                     (where + " track count").c_str(), problem)) {
            return false;
        }
    }
    return true;
}

std::string Clock(int32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
    return text;
}

std::string StatusText(const unsigned char* reply, bool json) {
    RemoteStatusRecord s = DecodeRemoteStatus(reply);
    if (json) {
        return DumpJson(StatusRecordJson(s)) + "\n";
    }
    std::string text = "disc " + std::to_string(s.disc) + " track " + std::to_string(s.track) +
                       " index " + std::to_string(s.index) + "\n";
    text += "status " + TerminalSafeText(CatalogueTextToUtf8(s.code + " " + s.text)) + "\n";
    text += std::string("mode ") + PlayModeName(s.mode) + "\n";
    text += "track time " + Clock(s.trackSeconds) + " disc time " + Clock(s.discSeconds) +
            " autopause " + (s.autopause ? "on" : "off") + "\n";
    if (s.nextDisc != 0) {
        text += "next disc " + std::to_string(s.nextDisc) + " track " +
                std::to_string(s.nextTrack) + " (" + std::to_string(s.playlistPos + 1) + " of " +
                std::to_string(s.playlistCount) + ")\n";
    } else {
        text += "next none\n";
    }
    text += s.answering ? "changer answering" : "changer not answering";
    text += s.sinceAnswerMs < 0
                ? ", no whole reply yet\n"
                : ", last whole reply " + std::to_string(s.sinceAnswerMs) + " ms ago\n";
    if (s.scanning) {
        text += "scanning slot " + std::to_string(s.scanSlot) + " of " +
                std::to_string(s.scanLastSlot) + "\n";
    }
    return text;
}

std::string DiscsText(const unsigned char* reply, bool json) {
    std::vector<RemoteSlotRecord> slots;
    for (int i = 0; i < kRemoteMagazineSlots; ++i) {
        slots.push_back(DecodeRemoteSlot(reply + i * kRemoteSlotSize));
    }
    if (json) {
        return DumpJson(MagazineJson(slots)) + "\n";
    }
    std::string text;
    for (size_t i = 0; i < slots.size(); ++i) {
        const RemoteSlotRecord& d = slots[i];
        if (!d.present) {
            continue;
        }
        std::string range = d.trackCount > 0 ? std::to_string(d.firstTrack) + "-" +
                                                   std::to_string(d.firstTrack + d.trackCount - 1)
                                             : "-";
        text += std::to_string(i + 1) + " " + TerminalSafeText(CatalogueTextToUtf8(d.id)) +
                " tracks " + range + " " + Clock(d.discSeconds) + " " +
                TerminalSafeText(CatalogueTextToUtf8(d.artist)) + " / " +
                TerminalSafeText(CatalogueTextToUtf8(d.title)) + "\n";
    }
    return text;
}

// The replies that carry a record: how each is checked and shown.
struct RecordReply {
    int32_t command;
    bool (*check)(const unsigned char* reply, std::string* problem);
    std::string (*format)(const unsigned char* reply, bool json);
};
const RecordReply kRecordReplies[] = {
    {REMOTE_STATUS, CheckStatusReply, StatusText},
    {REMOTE_MAGAZINE, CheckMagazineReply, DiscsText},
    {REMOTE_TRACKS, CheckRemoteTracksReply, RemoteTracksText},
    {REMOTE_HISTORY, CheckRemoteHistoryReply, RemoteHistoryText},
};

const RecordReply* FindRecordReply(int32_t command) {
    for (const RecordReply& record : kRecordReplies) {
        if (record.command == command) {
            return &record;
        }
    }
    return nullptr;
}

}  // namespace

bool CheckRemoteReply(int32_t command, const unsigned char* reply, std::string* problem) {
    if (StartsAsHttp(reply, RemoteReplySize(command))) {
        *problem = kHttpAnswer;
        return false;
    }
    if (const RecordReply* record = FindRecordReply(command)) {
        return record->check(reply, problem);
    }
    // The status poll stores two-digit numbers, disc 100 for "00"; 0 before
    // the first status reply.
    int32_t disc = ReadRemoteInt(reply);
    int32_t track = ReadRemoteInt(reply + 4);
    if (disc < 0 || disc > kSlotCount) {
        *problem = "disc " + std::to_string(disc) + " is outside 0.." + std::to_string(kSlotCount);
        return false;
    }
    if (track < 0 || track > kLargestTrack) {
        *problem =
            "track " + std::to_string(track) + " is outside 0.." + std::to_string(kLargestTrack);
        return false;
    }
    if (command != REMOTE_INFO) {
        return true;
    }
    const int tailOffset = kRemoteTitleOffset + kRemoteTextSize;
    if (!IsTerminatedText(reply + kRemoteArtistOffset, kRemoteTextSize) ||
        !IsTerminatedText(reply + kRemoteTitleOffset, kRemoteTextSize) ||
        !AllZero(reply + tailOffset, kRemoteInfoSize - tailOffset)) {
        *problem = "artist and title are not two terminated texts followed by zeros";
        return false;
    }
    return true;
}

std::string FormatRemoteReply(int32_t command, const unsigned char* reply, bool json) {
    if (const RecordReply* record = FindRecordReply(command)) {
        return record->format(reply, json);
    }
    int32_t disc = ReadRemoteInt(reply);
    int32_t track = ReadRemoteInt(reply + 4);
    std::string artist;
    std::string title;
    if (command == REMOTE_INFO) {
        artist = CatalogueTextToUtf8(DecodeRemoteText(reply + kRemoteArtistOffset));
        title = CatalogueTextToUtf8(DecodeRemoteText(reply + kRemoteTitleOffset));
    }
    if (json) {
        nlohmann::ordered_json object = {{"disc", disc}, {"track", track}};
        if (command == REMOTE_INFO) {
            object["artist"] = artist;
            object["title"] = title;
        }
        return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    std::string text = "disc " + std::to_string(disc) + " track " + std::to_string(track) + "\n";
    if (command == REMOTE_INFO) {
        text +=
            "artist: " + TerminalSafeText(artist) + "\ntitle: " + TerminalSafeText(title) + "\n";
    }
    return text;
}

namespace {

// Sends each text request in one write of all its bytes and waits for its
// answer; the first refusal ends the run with its message.
int SendTextRequests(const RemoteClientOptions& options, RemoteConnection& connection,
                     const std::string& where, std::ostream& out, std::ostream& err) {
    auto fail = [&err](const std::string& message) {
        err << "zubremote: " << TerminalSafeText(message) << "\n";
        return RemoteClientBadReply;
    };
    for (const RemoteTextRequest& text : options.texts) {
        unsigned char request[kRemoteRequestSize];
        EncodeRemoteTextRequest(text.command, text.slot, text.track, text.text, request);
        if (!connection.SendAll(request, sizeof request)) {
            return fail("connection to " + where + " lost while sending");
        }
        unsigned char reply[kRemoteAnswerSize] = {};
        ReceiveResult received =
            ReceiveRemoteReply(connection, text.command, reply, options.timeoutMs);
        if (StartsAsHttp(reply, received.received)) {
            return fail(where + ": " + kHttpAnswer);
        }
        if (received.end != ReceiveEnd::Complete) {
            return fail(where + ": " + ShortReply(received, kRemoteAnswerSize, options.timeoutMs));
        }
        std::string problem;
        if (!CheckRemoteAnswer(reply, &problem)) {
            return fail(where + " sent a reply the changer controller cannot send: " + problem);
        }
        RemoteAnswerRecord answer = DecodeRemoteAnswer(reply);
        if (answer.result != RemoteAnswerDone) {
            return fail(CatalogueTextToUtf8(answer.message));
        }
        if (text.command == REMOTE_STYLE_SHUFFLE) {
            // No track of the style: refused as the web remote refuses it.
            if (answer.value == 0) {
                return fail(StyleShuffleText(text.text, 0, false));
            }
            out << StyleShuffleText(text.text, answer.value, options.json);
        }
    }
    return RemoteClientOk;
}

}  // namespace

int RunRemoteClient(const std::vector<std::string>& args, RemoteConnection& connection,
                    std::ostream& out, std::ostream& err) {
    RemoteClientOptions options;
    std::string error;
    auto fail = [&err](const std::string& message, int code) {
        err << "zubremote: " << TerminalSafeText(message) << "\n";
        return code;
    };
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << RemoteClientUsageText();
        return RemoteClientOk;
    }
    if (!ParseRemoteCommandLine(args, &options, &error)) {
        fail(error, RemoteClientUsage);
        if (!options.numberRefused) {
            err << "try 'zubremote --help'\n";
        }
        return RemoteClientUsage;
    }

    std::string where = options.host + ":" + std::to_string(options.port);
    if (!connection.Open(options.host, options.port, options.timeoutMs, &error)) {
        return fail("cannot connect to " + where + ": " + error, RemoteClientNoServer);
    }
    if (!options.texts.empty()) {
        return SendTextRequests(options, connection, where, out, err);
    }
    unsigned char request[kRemoteFullRequestSize];
    EncodeRemoteRequest(options.command, options.disc, options.track, request);
    if (!connection.SendAll(request, sizeof request)) {
        return fail("connection to " + where + " lost while sending", RemoteClientBadReply);
    }
    int replySize = RemoteReplySize(options.command);
    if (replySize == 0) {
        return RemoteClientOk;
    }
    std::vector<unsigned char> replyBuffer(kRemoteMaxReplySize);
    unsigned char* reply = replyBuffer.data();
    ReceiveResult received =
        ReceiveRemoteReply(connection, options.command, reply, options.timeoutMs);
    if (StartsAsHttp(reply, received.received)) {
        return fail(where + ": " + kHttpAnswer, RemoteClientBadReply);
    }
    if (received.end != ReceiveEnd::Complete) {
        return fail(where + ": " + ShortReply(received, replySize, options.timeoutMs),
                    RemoteClientBadReply);
    }
    if (!CheckRemoteReply(options.command, reply, &error)) {
        return fail(where + " sent a reply the changer controller cannot send: " + error,
                    RemoteClientBadReply);
    }
    out << FormatRemoteReply(options.command, reply, options.json);
    return RemoteClientOk;
}
