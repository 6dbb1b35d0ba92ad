// What each remote request does and answers, without sockets.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/window_hooks_posix.h"
#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "remote/remote_request.h"
#include "tests/support/remote_test_support.h"
#include "tests/support/reset_state.h"

namespace {

class RemoteRequest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        ClearPlatformRecord();
        g_hCom = &line_;
    }
    void TearDown() override {
        g_hCom = nullptr;
        g_hWnd = nullptr;
        ResetChangerState();
        ClearPlatformRecord();
    }

    // Handles a request whose buffer starts as given; the rest is zero.
    int Handle(int32_t command, int32_t disc = 0, int32_t track = 0) {
        std::memset(buffer_, 0, sizeof buffer_);
        WriteRemoteInt(buffer_, command);
        WriteRemoteInt(buffer_ + 4, disc);
        WriteRemoteInt(buffer_ + 8, track);
        std::memset(reply_, 0xEE, sizeof reply_);
        return HandleRemoteRequest(buffer_, reply_);
    }

    std::vector<std::string> Sent() { return SentCommands(line_.Written()); }

    ScriptedLine line_;
    unsigned char buffer_[kRemoteRequestSize];
    unsigned char reply_[kRemoteInfoSize];
};

using Commands = std::vector<std::string>;

TEST_F(RemoteRequest, PlayTrackSendsOneLockedUnitWithAutopause) {
    FillSlot(3, 1, 12);
    EXPECT_EQ(Handle(REMOTE_PLAY_TRACK, 3, 5), 0);
    EXPECT_EQ(Sent(), (Commands{"01A03", "04A05", "10", "07"}));
    EXPECT_EQ(g_nMode.load(), 0);  // mode unchanged
}

// Numbers outside 1..100 (disc) or 1..99 (track) name nothing, whatever
// their low 16 bits read (65543 and -65486 end in 7 and 50, 65539 in 3).
TEST_F(RemoteRequest, PlayTrackOutOfRangeDoesNothing) {
    FillSlot(3, 1, 12);
    FillSlot(7, 1, 12);
    FillSlot(50, 1, 12);
    const std::pair<int32_t, int32_t> requests[] = {
        {65543, 3}, {-65486, 3}, {7, 65539}, {0, 1},         {101, 1},
        {3, 0},     {3, 100},    {3, -1},    {INT32_MIN, 3}, {3, INT32_MAX}};
    g_nMode = ModeShuffle;
    for (const auto& request : requests) {
        EXPECT_EQ(Handle(REMOTE_PLAY_TRACK, request.first, request.second), 0);
        EXPECT_EQ(g_nMode.load(), ModeShuffle);
    }
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteRequest, PlayDiscFromFirstTrackWithoutAutopause) {
    FillSlot(100, 4, 6);
    g_nMode = ModeShuffle;
    Handle(REMOTE_PLAY_DISC, 100);
    EXPECT_EQ(Sent(), (Commands{"01A00", "04A04", "10", "08"}));
    EXPECT_EQ(g_nMode.load(), ModeWholeDisc);
}

// A disc out of range, or one that PlayDiscTrack rejects (an empty slot),
// starts nothing: no command and no whole-disc mode for the poll to leave.
TEST_F(RemoteRequest, PlayDiscRejectedChangesNothing) {
    FillSlot(1, 1, 5);
    FillSlot(7, 1, 5);
    for (int32_t disc : {0, 101, -1, 0x10001, 65543, -65486, INT32_MAX, 2, 100}) {
        for (int mode : {ModeStop, ModeShuffle, ModeUnloaded}) {
            g_nMode = mode;
            Handle(REMOTE_PLAY_DISC, disc);
            EXPECT_EQ(g_nMode.load(), mode) << disc;
        }
    }
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteRequest, RestartReplaysCurrentDiscAndTrack) {
    FillSlot(9, 1, 10);
    g_nDisc = 9;
    g_nTrack = 4;
    g_nMode = ModePause;
    Handle(REMOTE_RESTART, 1, 1);  // arguments play no part
    EXPECT_EQ(Sent(), (Commands{"01A09", "04A04", "10", "07"}));
    EXPECT_EQ(g_nMode.load(), ModePause);
}

TEST_F(RemoteRequest, NextAndShufflePlayThePlaylist) {
    FillSlot(2, 1, 1);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        BuildPlaylist();
        g_nPlaylistPos = 0;
    }
    Handle(REMOTE_NEXT);
    EXPECT_EQ(Sent(), (Commands{"01A02", "04A01", "10", "07"}));
    EXPECT_EQ(g_nMode.load(), 0);

    g_nMode = ModeWholeDisc;
    Handle(REMOTE_SHUFFLE);
    EXPECT_EQ(g_nMode.load(), ModeShuffle);
    EXPECT_EQ(Sent().size(), 8u);
}

TEST_F(RemoteRequest, ShuffleWithoutPlaylistOnlySetsMode) {
    Handle(REMOTE_SHUFFLE);
    EXPECT_EQ(g_nMode.load(), ModeShuffle);
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteRequest, PausePlayStopAreForwardedToTheWindow) {
    int token;
    g_hWnd = &token;
    Handle(REMOTE_PAUSE);
    Handle(REMOTE_PLAY);
    Handle(REMOTE_STOP);
    EXPECT_EQ(RecordedButtonCommands(), (std::vector<int>{1006, 1005, 1007}));
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteRequest, PositionRepliesDiscAndTrackLittleEndian) {
    EXPECT_EQ(Handle(REMOTE_POSITION), kRemotePositionSize);
    EXPECT_EQ(std::memcmp(reply_, "\0\0\0\0\0\0\0\0", 8), 0);  // before the first poll

    g_nDisc = 100;
    g_nTrack = 0x0102;
    EXPECT_EQ(Handle(REMOTE_POSITION), kRemotePositionSize);
    const unsigned char expected[8] = {100, 0, 0, 0, 2, 1, 0, 0};
    EXPECT_EQ(std::memcmp(reply_, expected, 8), 0);
}

TEST_F(RemoteRequest, InfoWithoutCatalogue) {
    ScratchWorkingDir dir;
    g_nDisc = 3;
    g_nTrack = 7;
    ASSERT_EQ(Handle(REMOTE_INFO), kRemoteInfoSize);
    EXPECT_EQ(ReadRemoteInt(reply_), 3);
    EXPECT_EQ(ReadRemoteInt(reply_ + 4), 7);
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 8), "couldn't open zub.txt");
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 58), "");
    // Nothing but the texts and zeros goes out.
    for (int i = 8 + 22; i < kRemoteInfoSize; ++i) {
        ASSERT_EQ(reply_[i], 0) << i;
    }
}

TEST_F(RemoteRequest, InfoReadsTheCurrentDiscsLine) {
    ScratchWorkingDir dir;
    dir.WriteFile("zub.txt",
                  "First\tOne\r\n\"Second\"\t\"Two\"\r\n"
                  "\tNo artist\r\n" +
                      std::string(60, 'a') + "\t" + std::string(60, 't') + "\r\n");
    g_nDisc = 2;
    Handle(REMOTE_INFO);
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 8), "Second");
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 58), "Two");

    // No disc (before the first status reply, or a disc field that named
    // no slot): both texts empty, the layout as always.
    for (int disc : {0, -1, 101}) {
        g_nDisc = disc;
        g_nTrack = 4;
        ASSERT_EQ(Handle(REMOTE_INFO), kRemoteInfoSize);
        EXPECT_EQ(ReadRemoteInt(reply_), disc);
        EXPECT_EQ(ReadRemoteInt(reply_ + 4), 4);
        for (int i = 8; i < kRemoteInfoSize; ++i) {
            ASSERT_EQ(reply_[i], 0) << disc << " byte " << i;
        }
    }

    g_nDisc = 3;  // an empty artist reads as a missing catalogue
    Handle(REMOTE_INFO);
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 8), "couldn't open zub.txt");
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 58), "No artist");

    g_nDisc = 4;  // long fields are cut to 49 characters
    Handle(REMOTE_INFO);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply_ + 8)), std::string(49, 'a'));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply_ + 58)), std::string(49, 't'));
    for (int i = 108; i < kRemoteInfoSize; ++i) {
        ASSERT_EQ(reply_[i], 0) << i;
    }
}

TEST_F(RemoteRequest, OtherCommandValuesAreIgnored) {
    FillSlot(3, 1, 12);
    int token;
    g_hWnd = &token;
    g_nMode = ModeStop;
    // A valid command character with anything in the upper bytes, and
    // characters next to the command range.
    for (int32_t command : {0x132, 0x10032, 0x01000034, 0x7F000035, 0x2B, 0x36, 0, -1}) {
        EXPECT_EQ(Handle(command, 3, 5), 0) << command;
    }
    EXPECT_EQ(line_.Written(), "");
    EXPECT_TRUE(RecordedButtonCommands().empty());
    EXPECT_EQ(g_nMode.load(), ModeStop);
}

}  // namespace
