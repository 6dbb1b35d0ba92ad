// Command frames, result codes and reply storage over a scripted line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/window_hooks_posix.h"
#include "link/changer_link.h"
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
        g_hCom = &line;
    }
    void TearDown() override { g_hCom = nullptr; }
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

TEST_F(ExchangeTest, FailedWriteShowsBoxAndStillReadsReply) {
    line.FailWrites(true);
    line.Reply(
        std::string("\x02"
                    "0402"
                    "00\x03"));
    EXPECT_EQ(ChangerTransactLocked(CMD_STOP, nullptr, nullptr), 0);
    auto boxes = RecordedErrorBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Write to g_hCom Failed");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(line.Pending(), 0);
}

}  // namespace
