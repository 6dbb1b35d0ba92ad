// Command frames, result codes and reply storage over a scripted line.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "tests/support/error_box_checks.h"
#include "tests/support/scripted_line.h"

namespace {

std::string Frame(int command, const char* argument) {
    unsigned char frame[kFrameBufferSize];
    int length = BuildCommandFrame(command, argument, frame);
    return std::string(reinterpret_cast<char*>(frame), length);
}

TEST(CommandFrame, StatusAndLoadBytes) {
    EXPECT_EQ(Frame(CMD_STATUS, nullptr), std::string("\x02"
                                                      "0216\x03"));
    EXPECT_EQ(Frame(CMD_STATUS, ""), std::string("\x02"
                                                 "0216\x03"));
    EXPECT_EQ(Frame(CMD_LOAD, "A07"), std::string("\x02"
                                                  "0501A07\x03"));
}

TEST(CommandFrame, ArgumentLimit) {
    std::string longest(kMaxArgumentLength, 'x');
    EXPECT_EQ(Frame(CMD_LOAD, longest.c_str()).size(), size_t(kMaxArgumentLength + 6));
    std::string tooLong(kMaxArgumentLength + 1, 'x');
    unsigned char frame[kFrameBufferSize];
    EXPECT_EQ(BuildCommandFrame(CMD_LOAD, tooLong.c_str(), frame), 0);
}

TEST(SlotArgument, HundredIsSentAsZero) {
    char text[8];
    FormatSlotArgument(100, text);
    EXPECT_STREQ(text, "A00");
    FormatSlotArgument(7, text);
    EXPECT_STREQ(text, "A07");
    FormatTrackArgument(12, text);
    EXPECT_STREQ(text, "A12");
}

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearPlatformRecord();
        g_linkState = LinkState();
        g_hCom = &line;
    }
    void TearDown() override {
        g_hCom = nullptr;
        g_hWnd = nullptr;
    }
    ScriptedLine line;
};

TEST_F(ExchangeTest, ResultCodeFromPositionsFiveAndSix) {
    line.Reply(
        std::string("\x02"
                    "0416"
                    "00\x03"));
    EXPECT_EQ(ChangerTransactLocked(CMD_STATUS, nullptr, nullptr), 0);
    line.Reply(
        std::string("\x02"
                    "0401"
                    "13\x03"));
    EXPECT_EQ(ChangerTransactLocked(CMD_LOAD, "A01", nullptr), 13);
    EXPECT_EQ(line.Written(), std::string("\x02"
                                          "0216\x03"
                                          "\x02"
                                          "0501A01\x03"));
}

TEST_F(ExchangeTest, NonDigitsOrShortReplyGiveNoResult) {
    // '/' and ':' would add up to 0 digit by digit; they are not a result.
    line.Reply(
        std::string("\x02"
                    "0401"
                    "/:\x03"));
    EXPECT_EQ(ChangerTransactLocked(CMD_LOAD, "A01", nullptr), kNoResult);
    line.Reply(
        std::string("\x02"
                    "04 0\x03"));
    EXPECT_EQ(ChangerTransactLocked(CMD_LOAD, "A01", nullptr), kNoResult);
    line.Reply(
        std::string("\x02"
                    "0401"
                    "0\x03"));
    EXPECT_EQ(ChangerTransactLocked(CMD_LOAD, "A01", nullptr), kNoResult);
}

TEST_F(ExchangeTest, EtxAtThirtyStoresThirtyOneBytes) {
    std::string reply = std::string(
                            "\x02"
                            "2916"
                            "00") +
                        std::string(23, 'x') + "\x03";
    ASSERT_EQ(reply.size(), 31u);
    line.Reply(reply);
    char buffer[kReplyBufferSize];
    std::memset(buffer, 'z', sizeof buffer);
    int length = 0;
    EXPECT_EQ(ChangerTransactLocked(CMD_STATUS, nullptr, buffer, &length), 0);
    EXPECT_EQ(length, 31);
    EXPECT_EQ(std::string(buffer, 31), reply);
    EXPECT_EQ(buffer[31], 0);
    EXPECT_TRUE(ReplyEndsWithEtx(buffer, length));
}

TEST_F(ExchangeTest, OverlongReplyIsCutAndItsTailDiscarded) {
    std::string reply = std::string(
                            "\x02"
                            "5916"
                            "00") +
                        std::string(53, 'y');
    ASSERT_EQ(reply.size(), 60u);
    line.Reply(reply);
    char buffer[kReplyBufferSize];
    int length = 0;
    EXPECT_EQ(ChangerTransactLocked(CMD_STATUS, nullptr, buffer, &length), 0);
    EXPECT_EQ(length, kMaxReplyBytes);
    EXPECT_EQ(buffer[kMaxReplyBytes], 0);
    EXPECT_FALSE(ReplyEndsWithEtx(buffer, length));

    // The 11 bytes left over are dropped before the next frame goes out.
    line.Reply(
        std::string("\x02"
                    "0416"
                    "07\x03"));
    EXPECT_EQ(ChangerTransactLocked(CMD_STATUS, nullptr, buffer, &length), 7);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(line.Discarded(), 11);
}

TEST_F(ExchangeTest, SilentChangerEndsTheExchangeAtOnce) {
    char buffer[kReplyBufferSize];
    int length = -5;
    EXPECT_EQ(ChangerTransactLocked(CMD_STATUS, nullptr, buffer, &length), kNoResult);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(line.Reads(), 1);

    // A reply that stops halfway, digits read or not, has no result either.
    line.Reply(
        std::string("\x02"
                    "0416"
                    "00"));
    EXPECT_EQ(ChangerTransactLocked(CMD_STATUS, nullptr, buffer, &length), kNoResult);
    EXPECT_EQ(length, 7);
}

TEST_F(ExchangeTest, FailedWritesPostOneBoxPerOutageAndStillReadReplies) {
    const std::string stopReply =
        "\x02"
        "0402"
        "00\x03";
    int window = 0;
    g_hWnd = &window;
    // The first failure posts the box to the window (the caller holds the
    // serial lock and does not wait); the reply is read all the same and,
    // as the line answered, ends the outage at once.
    line.FailWrites(true);
    line.Reply(stopReply);
    EXPECT_EQ(ChangerTransactLocked(CMD_STOP, nullptr, nullptr), 0);
    EXPECT_EQ(line.Pending(), 0);
    ASSERT_NO_FATAL_FAILURE(ExpectOneWriteFailedBox(&window));

    // An outage: failed writes, no reply, a write that goes out but gets no
    // reply either, a play unit of four commands under one hold. One box.
    ClearPlatformRecord();
    for (int i = 0; i < 3; ++i) {
        ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);
    }
    line.FailWrites(false);
    ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);
    line.FailWrites(true);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        for (int command : {CMD_LOAD, CMD_TRACK, CMD_PLAY, CMD_AUTOPAUSE_ON}) {
            ChangerTransact(command, "A01", nullptr);
        }
    }
    EXPECT_EQ(RecordedErrorBoxes().size(), 1u);

    // A reply ends the outage; the next failure is a new one, and before the
    // window exists its box has no owner. While the first box is still open
    // (nobody pressed OK) a new outage opens no second one.
    line.FailWrites(false);
    line.Reply(stopReply);
    EXPECT_EQ(ChangerTransactLocked(CMD_STOP, nullptr, nullptr), 0);
    line.FailWrites(true);
    ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);
    EXPECT_EQ(RecordedErrorBoxes().size(), 1u);
    line.FailWrites(false);
    line.Reply(stopReply);
    EXPECT_EQ(ChangerTransactLocked(CMD_STOP, nullptr, nullptr), 0);
    CloseRecordedErrorBox();
    g_hWnd = nullptr;
    line.FailWrites(true);
    ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);
    ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);
    std::vector<RecordedErrorBox> boxes = RecordedErrorBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].owner, nullptr);
    EXPECT_TRUE(boxes[1].posted);
}

TEST_F(ExchangeTest, SilentLineWaitsOneSecondForTheFirstByteUntilItTalks) {
    const std::string statusReply =
        "\x02"
        "0416"
        "00\x03";
    // The first silent exchange waits the full time-out; once the line is
    // known silent each exchange waits kSilentLineWaitMs.
    ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);
    EXPECT_EQ(line.WaitedMs(), kFirstByteTimeoutMs);
    ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);
    ChangerTransactLocked(CMD_LOAD, "A03", nullptr);
    EXPECT_EQ(line.WaitedMs(), kFirstByteTimeoutMs + 2 * kSilentLineWaitMs);

    // The first byte of a reply lifts the cap at once: the rest of a reply
    // that stops halfway is waited for in full, as is the next exchange.
    line.Reply(
        "\x02"
        "04");
    EXPECT_EQ(ChangerTransactLocked(CMD_STATUS, nullptr, nullptr), kNoResult);
    EXPECT_EQ(line.WaitedMs(), 2 * kFirstByteTimeoutMs + 2 * kSilentLineWaitMs);
    line.Reply(statusReply);
    EXPECT_EQ(ChangerTransactLocked(CMD_STATUS, nullptr, nullptr), 0);
    ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);
    EXPECT_EQ(line.WaitedMs(), 3 * kFirstByteTimeoutMs + 2 * kSilentLineWaitMs);
}

}  // namespace
