// Receiving a reply whose record may be shorter when it comes from an older
// program: the status record grew by fields at its end.
#pragma once

#include "protocol/remote_client_socket.h"

// How long the rest of a record is waited for once its older, shorter part
// has come: a program that sends the whole record sends it in one go.
const int kRemoteRecordRestWaitMs = 300;

// Bytes of command's reply that an older program sends: RemoteReplySize but
// for the records that grew.
int RemoteReplyShortestSize(int32_t command);

// Receives command's reply into reply (RemoteReplySize bytes) within
// timeoutMs. A reply that stops at the shortest size and sends no more
// within kRemoteRecordRestWaitMs (or closes) counts as complete, with the
// rest zeroed;
// *size (optional) tells how many bytes came.
ReceiveResult ReceiveRemoteReply(RemoteConnection& connection, int32_t command,
                                 unsigned char* reply, int timeoutMs, int* size = nullptr);
