// The command names, the request bytes and the reply sizes.
#include "protocol/remote_commands.h"

#include "protocol/remote_names.h"

const RemoteCommandName kRemoteCommandNames[kRemoteCommandCount] = {
    {"next", REMOTE_NEXT, 0},         {"pause", REMOTE_PAUSE, 0},
    {"play", REMOTE_PLAY, 0},         {"stop", REMOTE_STOP, 0},
    {"restart", REMOTE_RESTART, 0},   {"disc", REMOTE_PLAY_DISC, 1},
    {"track", REMOTE_PLAY_TRACK, 2},  {"shuffle", REMOTE_SHUFFLE, 0},
    {"position", REMOTE_POSITION, 0}, {"info", REMOTE_INFO, 0},
    {"status", REMOTE_STATUS, 0},     {"discs", REMOTE_MAGAZINE, 0},
    {"scan", REMOTE_SCAN, 2},
};

const RemoteCommandName* FindRemoteCommand(const std::string& name) {
    for (const RemoteCommandName& entry : kRemoteCommandNames) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

void EncodeRemoteRequest(int32_t command, int32_t disc, int32_t track,
                         unsigned char request[kRemoteFullRequestSize]) {
    WriteRemoteInt(request + kRemoteCommandOffset, command);
    WriteRemoteInt(request + kRemoteDiscOffset, disc);
    WriteRemoteInt(request + kRemoteTrackOffset, track);
}

int RemoteReplySize(int32_t command) {
    switch (command) {
        case REMOTE_POSITION:
            return kRemotePositionSize;
        case REMOTE_INFO:
            return kRemoteInfoSize;
        case REMOTE_STATUS:
            return kRemoteStatusSize;
        case REMOTE_MAGAZINE:
            return kRemoteMagazineSize;
        case REMOTE_TRACKS:
            return kRemoteTracksSize;
        case REMOTE_HISTORY:
            return kRemoteHistorySize;
        default:
            return IsRemoteTextRequest(command) ? kRemoteAnswerSize : 0;
    }
}
