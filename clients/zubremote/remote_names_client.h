// zubremote's commands for names, styles and plays: set-disc, set-track,
// tracks, random --style and history. Their command lines, the text
// requests they send, and the checks and texts of their replies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RemoteClientOptions;

// One text request (remote_names.h) and what it sets, for messages.
struct RemoteTextRequest {
    int32_t command = 0;
    int32_t slot = 0;
    int32_t track = 0;
    std::string text;
};

// Whether name is one of these commands.
bool IsRemoteNamesCommand(const std::string& name);

// Parses the command at args[at] and its arguments into options: the text
// requests to send in order, or the query (tracks, history). On error
// returns false with a one-line message; options->numberRefused is set
// when the message says all (a value out of range or a bad name).
bool ParseRemoteNamesCommand(const std::vector<std::string>& args, size_t at,
                             RemoteClientOptions* options, std::string* error);

// The checks and texts of the answer, tracks and history replies, as
// CheckRemoteReply and FormatRemoteReply give them.
bool CheckRemoteAnswer(const unsigned char* reply, std::string* problem);
bool CheckRemoteTracksReply(const unsigned char* reply, std::string* problem);
bool CheckRemoteHistoryReply(const unsigned char* reply, std::string* problem);
std::string RemoteTracksText(const unsigned char* reply, bool json);
std::string RemoteHistoryText(const unsigned char* reply, bool json);

// What the client prints for a style shuffle's answer: the track count;
// for a count of 0 the refusal's one line, without a line end.
std::string StyleShuffleText(const std::string& style, int32_t count, bool json);
