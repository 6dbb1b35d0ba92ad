// Replies that older programs send shorter.
#include "protocol/remote_reply_receive.h"

#include <algorithm>
#include <cstring>

#include "protocol/remote_commands.h"
#include "protocol/remote_protocol.h"

int RemoteReplyShortestSize(int32_t command) {
    return command == REMOTE_STATUS ? kRemoteStatusShortSize : RemoteReplySize(command);
}

ReceiveResult ReceiveRemoteReply(RemoteConnection& connection, int32_t command,
                                 unsigned char* reply, int timeoutMs, int* size) {
    int full = RemoteReplySize(command);
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
