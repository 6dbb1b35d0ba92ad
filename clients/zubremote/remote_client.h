// zubremote, apart from its sockets: the command line, the request it sends,
// the check and the text of a reply, and the whole run.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "clients/zubremote/remote_names_client.h"
#include "protocol/remote_client_socket.h"
#include "protocol/remote_protocol.h"

const int kRemoteClientTimeoutMs = 5000;

struct RemoteClientOptions {
    std::string host = "127.0.0.1";
    uint16_t port = kRemotePort;
    int timeoutMs = kRemoteClientTimeoutMs;
    bool json = false;
    int32_t command = 0;
    int32_t disc = 0;
    int32_t track = 0;
    bool numberRefused = false;  // parsing failed on a number out of range or a bad name
    // set-disc, set-track, random: the text requests to send in order, each
    // answered before the next goes.
    std::vector<RemoteTextRequest> texts;
};

// Exit codes of zubremote.
enum RemoteClientExit {
    RemoteClientOk = 0,
    RemoteClientUsage = 2,     // bad command line
    RemoteClientNoServer = 3,  // could not connect
    RemoteClientBadReply = 4,  // connection lost, no reply in time, a reply that
                               // cannot come from the program, or a request refused
};

// The usage text, one command per line.
const char* RemoteClientUsageText();

// Parses the arguments after the program name. On error returns false with a
// one-line message.
bool ParseRemoteCommandLine(const std::vector<std::string>& args, RemoteClientOptions* options,
                            std::string* error);

// Whether a whole reply to command is one the program can send: disc 0..100
// and track 0..99; for info, two terminated texts followed by zeros only;
// for status, also a known mode and flags of 0 or 1; for the magazine, every
// slot empty (all zeros) or a disc with terminated texts.
// If not, false with what is wrong ("disc 1347703880 is outside 0..100").
bool CheckRemoteReply(int32_t command, const unsigned char* reply, std::string* problem);

// Checks of a reply's bytes as the program fills them: count zero bytes,
// and a text field of size bytes holding text, a terminator, zeros to its end.
bool AllZero(const unsigned char* bytes, int count);
bool IsTerminatedText(const unsigned char* field, int size);

// The text printed for a checked reply: plain lines safe for a terminal, or
// one JSON object in UTF-8.
std::string FormatRemoteReply(int32_t command, const unsigned char* reply, bool json);

// The whole client: parse, connect over connection, send, check and print
// the reply to out. Every error is one line to err, for a bad command line
// followed by a pointer to --help. Returns a RemoteClientExit code.
int RunRemoteClient(const std::vector<std::string>& args, RemoteConnection& connection,
                    std::ostream& out, std::ostream& err);
