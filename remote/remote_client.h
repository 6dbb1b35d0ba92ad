// The client side of the remote-control protocol: the zubremote command
// line, the request it sends and the text it prints for a reply.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "remote/remote_client_socket.h"
#include "remote/remote_protocol.h"

const int kRemoteClientTimeoutMs = 5000;

struct RemoteClientOptions {
    std::string host = "127.0.0.1";
    uint16_t port = kRemotePort;
    int timeoutMs = kRemoteClientTimeoutMs;
    bool json = false;
    int32_t command = 0;
    int32_t disc = 0;
    int32_t track = 0;
};

// Exit codes of zubremote.
enum RemoteClientExit {
    RemoteClientOk = 0,
    RemoteClientUsage = 2,     // bad command line
    RemoteClientNoServer = 3,  // could not connect
    RemoteClientNoReply = 4,   // connection lost or no reply in time
};

// The usage text, one command per line.
const char* RemoteClientUsageText();

// Parses the arguments after the program name. On error returns false with a
// one-line message.
bool ParseRemoteCommandLine(const std::vector<std::string>& args, RemoteClientOptions* options,
                            std::string* error);

// The 12-byte request for the options' command.
void BuildRemoteRequest(const RemoteClientOptions& options,
                        unsigned char request[kRemoteFullRequestSize]);

// Bytes the server answers to command: 0, kRemotePositionSize or
// kRemoteInfoSize.
int RemoteReplySize(int32_t command);

// The text printed for a reply: plain lines, or one JSON object.
std::string FormatRemoteReply(int32_t command, const unsigned char* reply, bool json);

// The whole client: parse, connect over connection, send, print the reply
// to out, errors to err. Returns a RemoteClientExit code.
int RunRemoteClient(const std::vector<std::string>& args, RemoteConnection& connection,
                    std::ostream& out, std::ostream& err);
