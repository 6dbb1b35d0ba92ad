// Fuzz target: ChangerTransact over arbitrary commands, arguments and
// reply bytes: the frame sent, the bytes stored, the result.
//
// Input: command byte (modulo 112: 100..111 are out of range), argument
// length byte (modulo 64: over 45 is too long), flags byte (bit 0 no reply
// buffer, bit 1 no length, bit 2 a second exchange, bit 3 writes fail), the
// argument, then the reply; with a second exchange the first LF separates
// the first reply (whose tail may stay queued) from the second. Failed writes
// post one box per outage, and none while an earlier one is still open.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/scripted_line.h"

namespace {

std::string ExpectedFrame(int command, const std::string& argument) {
    char head[8];
    std::snprintf(head, sizeof head, "%02d%02d", static_cast<int>(argument.size()) + 2, command);
    return std::string(1, static_cast<char>(STX)) + head + argument +
           std::string(1, static_cast<char>(ETX));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    ResetForInput();
    const int command = input.Byte() % 112;
    const size_t argumentLength = input.Byte() % 64;
    const uint8_t flags = input.Byte();
    const bool noReplyBuffer = flags & 1;
    const bool noLength = flags & 2;
    const bool twoExchanges = flags & 4;
    const bool failWrites = flags & 8;
    std::string argumentBytes = input.Take(argumentLength);
    const std::string argument = argumentBytes.c_str();  // as strlen sees it
    std::vector<std::string> replies;
    if (twoExchanges) {
        std::string rest = input.Rest();
        size_t lf = rest.find('\n');
        replies.push_back(rest.substr(0, lf));
        replies.push_back(lf == std::string::npos ? std::string() : rest.substr(lf + 1));
    } else {
        replies.push_back(input.Rest());
    }

    ScriptedLine line;
    for (const std::string& reply : replies) {
        line.Reply(reply);
    }
    line.FailWrites(failWrites);
    g_hCom = &line;

    const bool sendable =
        command <= 99 && argument.size() <= static_cast<size_t>(kMaxArgumentLength);
    // Exactly the documented size, so that a byte written past it is caught.
    std::unique_ptr<char[]> reply(noReplyBuffer ? nullptr : new char[kReplyBufferSize]);
    size_t nextReply = 0;
    std::string pendingTail;
    int errorBoxes = 0;
    for (size_t exchange = 0; exchange < replies.size(); ++exchange) {
        if (reply) {
            std::memset(reply.get(), 0x5A, kReplyBufferSize);
        }
        int length = -1;
        size_t writtenBefore = line.Written().size();
        int discardedBefore = line.Discarded();
        int result = ChangerTransact(command, argumentBytes.c_str(), reply.get(),
                                     noLength ? nullptr : &length);

        // A sent frame takes the next scripted reply; the stale tail of an
        // earlier one is dropped first.
        std::string answer;
        if (sendable) {
            FUZZ_CHECK(line.Discarded() - discardedBefore == static_cast<int>(pendingTail.size()));
            answer = nextReply < replies.size() ? replies[nextReply++] : std::string();
            if (failWrites) {
                // One box per outage, none while one is open: nobody
                // presses OK here, so only the first outage shows one.
                errorBoxes = 1;
            } else {
                FUZZ_CHECK(line.Written().substr(writtenBefore) ==
                           ExpectedFrame(command, argument));
            }
        }
        FUZZ_CHECK(line.Written().size() == writtenBefore || (sendable && !failWrites));
        const std::string stored = StoredReply(answer);
        pendingTail = answer.substr(stored.size());
        FUZZ_CHECK(line.Pending() == static_cast<int>(pendingTail.size()));

        FUZZ_CHECK(result == kNoResult || (result >= 0 && result <= 99));
        FUZZ_CHECK(result == ExpectedResult(answer));
        if (!noLength) {
            FUZZ_CHECK(length >= 0 && length <= kMaxReplyBytes);
            FUZZ_CHECK(length == static_cast<int>(stored.size()));
        }
        if (reply) {
            FUZZ_CHECK(std::memcmp(reply.get(), stored.data(), stored.size()) == 0);
            FUZZ_CHECK(reply[stored.size()] == 0);
        }
    }
    g_hCom = nullptr;
    const std::vector<RecordedErrorBox> boxes = RecordedErrorBoxes();
    FUZZ_CHECK(static_cast<int>(boxes.size()) == errorBoxes);
    for (const RecordedErrorBox& box : boxes) {
        FUZZ_CHECK(box.posted && box.text == "Write to g_hCom Failed");
    }
    return 0;
}
