// Command frames and the one-frame-out, one-reply-in exchange.
#include "link/changer_link.h"

#include <cstdio>
#include <cstring>

#include "platform/window_hooks.h"

SerialLine* g_hCom = nullptr;
std::recursive_mutex g_hComMutex;
LinkState g_linkState;

namespace {

// After a reply that did not end with ETX (a time-out, the 49-byte cap) the
// line must stay quiet this long before the next frame goes out, so that a
// late reply or an over-long tail is not read as the next frame's reply.
const int kQuietMs = 250;
const int kQuietLimitMs = 1500;

}  // namespace

int BuildCommandFrame(int command, const char* argument, unsigned char* frame) {
    if (argument == nullptr) {
        argument = "";
    }
    int argumentLength = static_cast<int>(std::strlen(argument));
    if (argumentLength > kMaxArgumentLength || command < 0 || command > 99) {
        return 0;
    }
    frame[0] = STX;
    std::snprintf(reinterpret_cast<char*>(frame) + 1, kFrameBufferSize - 1, "%.02d%.02d%s",
                  argumentLength + 2, command, argument);
    int frameLength = argumentLength + 6;
    frame[frameLength - 1] = ETX;
    frame[frameLength] = 0;
    return frameLength;
}

int WriteChanger(const unsigned char* bytes, int count) {
    if (g_hCom != nullptr && g_hCom->Write(bytes, count) == count) {
        return 1;
    }
    if (!g_linkState.writeOutage) {
        g_linkState.writeOutage = true;
        PostErrorBox("Write to g_hCom Failed", "Error");
    }
    return 0;
}

static bool IsDigit(unsigned char byte) {
    return byte >= '0' && byte <= '9';
}

int ChangerTransact(int command, const char* argument, char* reply, int* replyLength) {
    unsigned char frame[kFrameBufferSize];
    int frameLength = BuildCommandFrame(command, argument, frame);
    if (frameLength == 0 || g_hCom == nullptr) {
        if (reply != nullptr) {
            reply[0] = 0;
        }
        if (replyLength != nullptr) {
            *replyLength = 0;
        }
        return kNoResult;
    }

    // Bytes still queued (the tail of an over-long reply, a late reply) would
    // otherwise be taken as the start of this command's reply.
    if (g_linkState.replyUnfinished) {
        g_hCom->DrainInput(kQuietMs, kQuietLimitMs);
    } else {
        g_hCom->DiscardInput();
    }
    WriteChanger(frame, frameLength);

    // Positions 5 and 6 carry the result code; a reply that ends (ETX) or
    // goes silent before both digits are read has no result.
    unsigned char stored[kMaxReplyBytes];
    int count = 0;
    bool silent = false;
    while (count < kMaxReplyBytes) {
        unsigned char byte;
        if (!g_hCom->ReadByte(byte)) {
            silent = true;
            break;
        }
        if (count == 0) {
            // The line talks: the rest of this reply and the next ones get
            // the full wait, and a write that fails again is a new outage.
            if (g_linkState.lineSilent) {
                g_linkState.lineSilent = false;
                g_hCom->LimitFirstByteWait(0);
            }
            g_linkState.writeOutage = false;
        }
        stored[count++] = byte;
        if (byte == ETX) {
            break;
        }
    }

    if (count == 0 && !g_linkState.lineSilent) {
        g_linkState.lineSilent = true;
        g_hCom->LimitFirstByteWait(kSilentLineWaitMs);
    }
    g_linkState.replyUnfinished = count == 0 || stored[count - 1] != ETX;

    if (reply != nullptr) {
        std::memcpy(reply, stored, count);
        reply[count] = 0;
    }
    if (replyLength != nullptr) {
        *replyLength = count;
    }
    if (silent || count < 7 || !IsDigit(stored[5]) || !IsDigit(stored[6])) {
        return kNoResult;
    }
    return (stored[5] - '0') * 10 + (stored[6] - '0');
}

int ChangerTransactLocked(int command, const char* argument, char* reply, int* replyLength) {
    std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
    return ChangerTransact(command, argument, reply, replyLength);
}

int DecimalField(const char* bytes) {
    return (static_cast<signed char>(bytes[0]) - '0') * 10 +
           (static_cast<signed char>(bytes[1]) - '0');
}

bool ReplyEndsWithEtx(const char* reply, int replyLength) {
    return replyLength > 0 && static_cast<unsigned char>(reply[replyLength - 1]) == ETX;
}

void FormatSlotArgument(int slot, char* buffer) {
    std::snprintf(buffer, 8, "A%.2d", slot == 100 ? 0 : slot);
}

void FormatTrackArgument(int track, char* buffer) {
    std::snprintf(buffer, 8, "A%.2d", track);
}

void CloseChangerPort() {
    std::unique_lock<std::recursive_mutex> lock(g_hComMutex, std::try_to_lock);
    if (lock.owns_lock()) {
        delete g_hCom;
        g_hCom = nullptr;
    }
}
