// zubremote's command line, requests and reply texts.
#include "remote/remote_client.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct CommandName {
    const char* name;
    int32_t command;
    int arguments;
};

const CommandName kCommands[] = {
    {"next", REMOTE_NEXT, 0},         {"pause", REMOTE_PAUSE, 0},
    {"play", REMOTE_PLAY, 0},         {"stop", REMOTE_STOP, 0},
    {"restart", REMOTE_RESTART, 0},   {"disc", REMOTE_PLAY_DISC, 1},
    {"track", REMOTE_PLAY_TRACK, 2},  {"shuffle", REMOTE_SHUFFLE, 0},
    {"position", REMOTE_POSITION, 0}, {"info", REMOTE_INFO, 0},
};

bool ParseNumber(const std::string& text, long minimum, long maximum, long* value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || parsed < minimum || parsed > maximum) {
        return false;
    }
    *value = parsed;
    return true;
}

// A field of the reply as text: up to its terminator, within the field.
std::string ReplyText(const unsigned char* field) {
    int length = 0;
    while (length < kRemoteTextSize && field[length] != 0) {
        ++length;
    }
    return std::string(reinterpret_cast<const char*>(field), length);
}

// JSON string; bytes above 0x7F are taken as Latin-1 so the output is
// always valid UTF-8 whatever code page the catalogue was written in.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char byte : text) {
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out + "\"";
}

}  // namespace

const char* RemoteClientUsageText() {
    return "usage: zubremote [--host H] [--port P] [--timeout MS] [--json] COMMAND\n"
           "commands:\n"
           "  next          play the next entry of the shuffle playlist\n"
           "  pause         press Pause\n"
           "  play          press Play\n"
           "  stop          press Stop\n"
           "  restart       play the current track again\n"
           "  disc N        play disc N (1..100) from its first track\n"
           "  track D T     play track T of disc D\n"
           "  shuffle       return to the shuffle playlist\n"
           "  position      print the current disc and track\n"
           "  info          print disc, track, artist and title\n";
}

bool ParseRemoteCommandLine(const std::vector<std::string>& args, RemoteClientOptions* options,
                            std::string* error) {
    size_t at = 0;
    auto value = [&](const char* option, std::string* out) {
        if (at + 1 >= args.size()) {
            *error = std::string(option) + " needs a value";
            return false;
        }
        *out = args[++at];
        return true;
    };
    for (; at < args.size() && args[at].compare(0, 2, "--") == 0; ++at) {
        const std::string& option = args[at];
        std::string text;
        long number = 0;
        if (option == "--json") {
            options->json = true;
        } else if (option == "--host") {
            if (!value("--host", &text)) {
                return false;
            }
            if (text.empty()) {
                *error = "--host needs a value";
                return false;
            }
            options->host = text;
        } else if (option == "--port") {
            if (!value("--port", &text)) {
                return false;
            }
            if (!ParseNumber(text, 1, 65535, &number)) {
                *error = "bad port: " + text;
                return false;
            }
            options->port = static_cast<uint16_t>(number);
        } else if (option == "--timeout") {
            if (!value("--timeout", &text)) {
                return false;
            }
            if (!ParseNumber(text, 1, 3600000, &number)) {
                *error = "bad time-out: " + text;
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
    const CommandName* found = nullptr;
    for (const CommandName& entry : kCommands) {
        if (args[at] == entry.name) {
            found = &entry;
        }
    }
    if (found == nullptr) {
        *error = "unknown command " + args[at];
        return false;
    }
    if (args.size() - at - 1 != static_cast<size_t>(found->arguments)) {
        *error = std::string(found->name) + " takes " + std::to_string(found->arguments) +
                 (found->arguments == 1 ? " number" : " numbers");
        return false;
    }
    options->command = found->command;
    long numbers[2] = {0, 0};
    for (int i = 0; i < found->arguments; ++i) {
        if (!ParseNumber(args[at + 1 + i], INT32_MIN, INT32_MAX, &numbers[i])) {
            *error = "not a number: " + args[at + 1 + i];
            return false;
        }
    }
    options->disc = static_cast<int32_t>(numbers[0]);
    options->track = static_cast<int32_t>(numbers[1]);
    return true;
}

void BuildRemoteRequest(const RemoteClientOptions& options,
                        unsigned char request[kRemoteFullRequestSize]) {
    WriteRemoteInt(request + kRemoteCommandOffset, options.command);
    WriteRemoteInt(request + kRemoteDiscOffset, options.disc);
    WriteRemoteInt(request + kRemoteTrackOffset, options.track);
}

int RemoteReplySize(int32_t command) {
    switch (command) {
        case REMOTE_POSITION:
            return kRemotePositionSize;
        case REMOTE_INFO:
            return kRemoteInfoSize;
        default:
            return 0;
    }
}

std::string FormatRemoteReply(int32_t command, const unsigned char* reply, bool json) {
    std::string disc = std::to_string(ReadRemoteInt(reply));
    std::string track = std::to_string(ReadRemoteInt(reply + 4));
    if (command == REMOTE_POSITION) {
        return json ? "{\"disc\": " + disc + ", \"track\": " + track + "}\n"
                    : "disc " + disc + " track " + track + "\n";
    }
    std::string artist = ReplyText(reply + kRemoteArtistOffset);
    std::string title = ReplyText(reply + kRemoteTitleOffset);
    if (json) {
        return "{\"disc\": " + disc + ", \"track\": " + track +
               ", \"artist\": " + JsonString(artist) + ", \"title\": " + JsonString(title) + "}\n";
    }
    return "disc " + disc + " track " + track + "\nartist: " + artist + "\ntitle: " + title + "\n";
}

int RunRemoteClient(const std::vector<std::string>& args, RemoteConnection& connection,
                    std::ostream& out, std::ostream& err) {
    RemoteClientOptions options;
    std::string error;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << RemoteClientUsageText();
        return RemoteClientOk;
    }
    if (!ParseRemoteCommandLine(args, &options, &error)) {
        err << "zubremote: " << error << "\n" << RemoteClientUsageText();
        return RemoteClientUsage;
    }

    std::string where = options.host + ":" + std::to_string(options.port);
    if (!connection.Open(options.host, options.port, options.timeoutMs, &error)) {
        err << "zubremote: cannot connect to " << where << ": " << error << "\n";
        return RemoteClientNoServer;
    }
    unsigned char request[kRemoteFullRequestSize];
    BuildRemoteRequest(options, request);
    if (!connection.SendAll(request, sizeof request)) {
        err << "zubremote: connection to " << where << " lost while sending\n";
        return RemoteClientNoReply;
    }
    int replySize = RemoteReplySize(options.command);
    if (replySize == 0) {
        return RemoteClientOk;
    }
    unsigned char reply[kRemoteInfoSize];
    if (!connection.ReceiveExactly(reply, replySize, options.timeoutMs)) {
        err << "zubremote: no reply from " << where << " within " << options.timeoutMs << " ms\n";
        return RemoteClientNoReply;
    }
    out << FormatRemoteReply(options.command, reply, options.json);
    return RemoteClientOk;
}
