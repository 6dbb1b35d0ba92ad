// Random bytes for the remote server's request reader, shared by the abuse
// test and the remote abuse program.
#pragma once

#include <random>

#include "protocol/remote_protocol.h"

// Fills 1 to capacity random bytes; a chunk of 4 or more starts with a
// position or info command half the time. Returns the count.
inline int FillNoiseChunk(std::mt19937& random, unsigned char* bytes, int capacity) {
    int count = 1 + static_cast<int>(random() % static_cast<unsigned>(capacity));
    for (int j = 0; j < count; ++j) {
        bytes[j] = static_cast<unsigned char>(random());
    }
    if (count >= 4 && random() % 2 == 0) {
        WriteRemoteInt(bytes, random() % 2 == 0 ? REMOTE_POSITION : REMOTE_INFO);
    }
    return count;
}
