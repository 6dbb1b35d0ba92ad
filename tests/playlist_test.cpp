// Play requests, the shuffle generator and the playlist over a scripted line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "link/changer_link.h"
#include "platform/mul_div.h"
#include "tests/support/reset_state.h"
#include "tests/support/scripted_line.h"

namespace {

using Commands = std::vector<std::string>;

class PlaylistTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        g_hCom = &line;
    }
    void TearDown() override { ResetChangerState(); }

    Commands Sent() { return SentCommands(line.Written()); }

    std::vector<std::pair<int, int>> Entries() {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        std::vector<std::pair<int, int>> entries;
        for (const PlaylistEntry& entry : g_hPlaylist) {
            entries.push_back({entry.wDisc, entry.wTrack});
        }
        return entries;
    }

    ScriptedLine line;
};

TEST(Generator, WorkedExample) {
    g_nRandomSeed = 0;
    EXPECT_EQ(NextRandom(), 15470);
    EXPECT_EQ(NextRandom(), 18256);
    EXPECT_EQ(NextRandom(), 53708);
    EXPECT_EQ(NextRandom(), 43769);
    EXPECT_EQ(NextRandom(), 25170);
    g_nRandomSeed = 0;
}

TEST(Generator, MulDivRoundsHalfAwayFromZero) {
    EXPECT_EQ(MulDiv(110, 4, 255), 2);  // 1.725
    EXPECT_EQ(MulDiv(80, 4, 255), 1);   // 1.255
    EXPECT_EQ(MulDiv(255, 4, 255), 4);
    EXPECT_EQ(MulDiv(0, 4, 255), 0);
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(3, 1, -2), -2);
    EXPECT_EQ(MulDiv(5, 7, 0), -1);
    EXPECT_EQ(MulDiv(1 << 30, 8, 1), -1);                   // does not fit
    EXPECT_EQ(MulDiv(1 << 30, 1 << 30, 1 << 30), 1 << 30);  // 64-bit product
}

TEST_F(PlaylistTest, ShuffleWorkedExample) {
    // Five entries e0..e4 (slot 1, tracks 1..5) shuffled from state 0.
    FillSlot(1, 1, 5);
    BuildPlaylist();
    std::vector<std::pair<int, int>> expected = {{1, 3}, {1, 1}, {1, 4}, {1, 5}, {1, 2}};
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(g_nPlaylistCount, 5);
    EXPECT_TRUE(line.Written().empty());
}

TEST_F(PlaylistTest, CollectsSlotsInOrderWithOneDrawPerEntry) {
    FillSlot(9, 1, 2);
    FillSlot(4, 1, 3);
    BuildPlaylist();
    auto entries = Entries();
    std::sort(entries.begin(), entries.end());
    std::vector<std::pair<int, int>> expected = {{4, 1}, {4, 2}, {4, 3}, {9, 1}, {9, 2}};
    EXPECT_EQ(entries, expected);

    // Five draws from state 0 leave the state the sixth draw starts from.
    uint32_t state = 0;
    for (int i = 0; i < 5; ++i) {
        state = state * 1664525u + 1013904223u;
    }
    EXPECT_EQ(g_nRandomSeed, state);
}

TEST_F(PlaylistTest, EmptyMagazineGivesEmptyListWithoutDraws) {
    g_nRandomSeed = 1234;
    BuildPlaylist();
    EXPECT_EQ(g_nPlaylistCount, 0);
    EXPECT_TRUE(g_bPlaylistBuilt);
    EXPECT_EQ(g_nRandomSeed, 1234u);
    PlayNextEntry();
    EXPECT_TRUE(line.Written().empty());
    EXPECT_EQ(g_nPlaylistPos, 0);
}

TEST_F(PlaylistTest, ShuffleKeepsEveryEntryOfALargeMagazine) {
    // More than 256 entries: every one is still there once.
    for (int slot = 1; slot <= 100; ++slot) {
        FillSlot(slot, 1, 12);
    }
    g_nRandomSeed = 99;
    BuildPlaylist();
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 1200u);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(std::unique(entries.begin(), entries.end()), entries.end());
    EXPECT_EQ(entries.front(), std::make_pair(1, 1));
    EXPECT_EQ(entries.back(), std::make_pair(100, 12));
}

TEST_F(PlaylistTest, RequestValidation) {
    FillSlot(3, 1, 12);
    FillSlot(100, 65535, 2);  // first + count needs more than 16 bits
    EXPECT_EQ(PlayDiscTrack(0, 1, 1), 0);
    EXPECT_EQ(PlayDiscTrack(101, 1, 1), 0);
    EXPECT_EQ(PlayDiscTrack(2, 1, 1), 0);  // empty slot
    EXPECT_EQ(PlayDiscTrack(3, 0, 1), 0);
    EXPECT_EQ(PlayDiscTrack(3, 13, 1), 0);
    EXPECT_EQ(PlayDiscTrack(100, 65534, 1), 0);
    EXPECT_TRUE(line.Written().empty());

    EXPECT_EQ(PlayDiscTrack(3, 1, 1), 1);
    EXPECT_EQ(PlayDiscTrack(3, 12, 1), 1);
    EXPECT_EQ(PlayDiscTrack(100, 65535, 1), 1);
    EXPECT_EQ(Sent().size(), 12u);
}

TEST_F(PlaylistTest, PlayRequestSendsFourCommandsAsOneUnit) {
    FillSlot(100, 1, 10);
    EXPECT_EQ(PlayDiscTrack(100, 5, 1), 1);
    EXPECT_EQ(line.Written(), std::string("\x02"
                                          "0501A00\x03"
                                          "\x02"
                                          "0504A05\x03"
                                          "\x02"
                                          "0210\x03"
                                          "\x02"
                                          "0207\x03"));
    FillSlot(7, 1, 10);
    EXPECT_EQ(PlayDiscTrack(7, 10, 0), 1);
    Commands expected = {"01A00", "04A05", "10", "07", "01A07", "04A10", "10", "08"};
    EXPECT_EQ(Sent(), expected);
}

TEST_F(PlaylistTest, PlayRequestIgnoresReplies) {
    // An error result or no reply at all: the unit still goes out whole.
    FillSlot(5, 1, 3);
    line.Reply(
        std::string("\x02"
                    "0401"
                    "99\x03"));
    EXPECT_EQ(PlayDiscTrack(5, 2, 1), 1);
    Commands expected = {"01A05", "04A02", "10", "07"};
    EXPECT_EQ(Sent(), expected);
}

TEST_F(PlaylistTest, NextEntryBeforeAnyBuildDoesNothing) {
    FillSlot(1, 1, 3);
    PlayNextEntry();
    EXPECT_TRUE(line.Written().empty());
    EXPECT_EQ(g_nPlaylistPos, 0);
}

TEST_F(PlaylistTest, OneEntryPlaysAndRebuildsEveryTime) {
    FillSlot(8, 4, 1);
    BuildPlaylist();
    for (int i = 0; i < 3; ++i) {
        uint32_t before = g_nRandomSeed;
        PlayNextEntry();
        EXPECT_EQ(g_nPlaylistPos, 0);
        EXPECT_EQ(g_nRandomSeed, before * 1664525u + 1013904223u);  // one draw
    }
    Commands play = {"01A08", "04A04", "10", "07"};
    Commands expected;
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(), play.begin(), play.end());
    }
    EXPECT_EQ(Sent(), expected);
}

TEST_F(PlaylistTest, AfterTheLastEntryTheListIsReshuffled) {
    FillSlot(2, 1, 4);
    FillSlot(6, 3, 3);
    g_nRandomSeed = 777;
    uint32_t state = g_nRandomSeed;
    BuildPlaylist();
    g_nPlaylistPos = 0;
    auto firstOrder = Entries();

    Commands expected;
    for (size_t i = 0; i < firstOrder.size(); ++i) {
        char load[8], track[8];
        FormatSlotArgument(firstOrder[i].first, load);
        FormatTrackArgument(firstOrder[i].second, track);
        expected.insert(expected.end(),
                        {std::string("01") + load, std::string("04") + track, "10", "07"});
        PlayNextEntry();
    }
    EXPECT_EQ(Sent(), expected);  // every entry once, in list order
    EXPECT_EQ(g_nPlaylistPos, 0);
    EXPECT_EQ(g_nPlaylistCount, 7);

    for (int i = 0; i < 14; ++i) {  // 2n draws since the first build
        state = state * 1664525u + 1013904223u;
    }
    EXPECT_EQ(g_nRandomSeed, state);
}

TEST_F(PlaylistTest, EntryOfAVanishedDiscIsSkippedSilently) {
    FillSlot(1, 1, 1);
    FillSlot(2, 1, 1);
    BuildPlaylist();
    auto order = Entries();
    int gone = order[0].first;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        g_slots[gone - 1].wFlags = 0;
    }
    PlayNextEntry();
    EXPECT_TRUE(line.Written().empty());
    EXPECT_EQ(g_nPlaylistPos, 1);
}

}  // namespace
