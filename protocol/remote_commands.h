// The remote commands by name, the request that carries one, and the size
// of the reply each gets. zubremote's command line and zubweb's JSON use
// the same names.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/remote_protocol.h"

struct RemoteCommandName {
    const char* name;
    int32_t command;  // RemoteCommand
    int arguments;    // 0, 1 (disc) or 2 (disc and track; first and last slot for scan)
};

const int kRemoteCommandCount = 13;
extern const RemoteCommandName kRemoteCommandNames[kRemoteCommandCount];

// The entry named name; nullptr when there is none.
const RemoteCommandName* FindRemoteCommand(const std::string& name);

// The kRemoteFullRequestSize-byte request a client sends.
void EncodeRemoteRequest(int32_t command, int32_t disc, int32_t track,
                         unsigned char request[kRemoteFullRequestSize]);

// Bytes the server answers to command: 0, kRemotePositionSize,
// kRemoteInfoSize, kRemoteStatusSize, kRemoteMagazineSize, or for names,
// styles and plays kRemoteAnswerSize, kRemoteTracksSize or
// kRemoteHistorySize.
int RemoteReplySize(int32_t command);
