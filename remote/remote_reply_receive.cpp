// Replies that older programs send shorter.
#include "remote/remote_reply_receive.h"

#include <algorithm>
#include <cstring>

#include "remote/remote_protocol.h"

int RemoteReplyFullSize(int32_t command) {
    switch (command) {
        case REMOTE_POSITION:
            return kRemotePositionSize;
        case REMOTE_INFO:
            return kRemoteInfoSize;
        case REMOTE_STATUS:
            return kRemoteStatusSize;
        case REMOTE_MAGAZINE:
            return kRemoteMagazineSize;
        default:
            return 0;
    }
}

int RemoteReplyShortestSize(int32_t command) {
    return command == REMOTE_STATUS ? kRemoteStatusShortSize : RemoteReplyFullSize(command);
}

ReceiveResult ReceiveRemoteReply(RemoteConnection& connection, int32_t command,
                                 unsigned char* reply, int timeoutMs, int* size) {
    int full = RemoteReplyFullSize(command);
    int shortest = RemoteReplyShortestSize(command);
    if (size != nullptr) {
        *size = 0;
    }
    ReceiveResult first = connection.Receive(reply, shortest, timeoutMs);
    if (first.end != ReceiveEnd::Complete || shortest == full) {
        if (size != nullptr) {
            *size = first.received;
        }
        return first;
    }
    ReceiveResult rest = connection.Receive(reply + shortest, full - shortest,
                                            std::min(timeoutMs, kRemoteRecordRestWaitMs));
    bool nothingMore = rest.end == ReceiveEnd::TimedOut || rest.end == ReceiveEnd::Closed;
    if (nothingMore && rest.received == 0) {
        std::memset(reply + shortest, 0, full - shortest);  // an older program's record
        rest.end = ReceiveEnd::Complete;
    }
    rest.received += shortest;
    if (size != nullptr) {
        *size = rest.received;
    }
    return rest;
}
