// What one remote request does and what it answers, apart from any socket.
#pragma once

#include "protocol/remote_protocol.h"

// Acts on the request in buffer (kRemoteRequestSize bytes, as the
// connection's receives have left them: a short request keeps the older
// bytes behind it). Writes the reply, if the command has one, to reply
// (kRemoteMaxReplySize bytes) and returns its length; 0 means no reply.
int HandleRemoteRequest(const unsigned char* buffer, unsigned char* reply);
