// Play requests, the shuffle generator and the playlist over a scripted line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "changer/style_select.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"
#include "platform/mul_div.h"
#include "tests/support/fresh_changer_test.h"
#include "tests/support/reset_state.h"
#include "tests/support/scripted_line.h"
#include "tests/support/sim_line.h"

namespace {

using Commands = std::vector<std::string>;

class PlaylistTest : public FreshChangerTest {
protected:
    SerialLine& CaseLine() override { return line; }

    Commands Sent() { return SentCommands(line.Written()); }

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
    EXPECT_EQ(PlaylistEntries(), expected);
    EXPECT_EQ(g_nPlaylistCount, 5);
    EXPECT_TRUE(line.Written().empty());
}

TEST_F(PlaylistTest, CollectsSlotsInOrderWithOneDrawPerEntry) {
    FillSlot(9, 1, 2);
    FillSlot(4, 1, 3);
    BuildPlaylist();
    auto entries = PlaylistEntries();
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
    auto entries = PlaylistEntries();
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

TEST_F(PlaylistTest, PlayRequestStopsOnlyWhenTheDiscDoesNotLoad) {
    FillSlot(5, 1, 3);
    // The load answered with a result other than 00: nothing more goes out.
    line.Reply(BuildSimReply(CMD_LOAD, 1, ""));
    EXPECT_EQ(PlayDiscTrack(5, 2, 1), kPlayNotLoaded);
    EXPECT_EQ(Sent(), Commands{"01A05"});

    // No reply at all, or an error after the load: the unit goes out whole.
    EXPECT_EQ(PlayDiscTrack(5, 2, 1), kPlaySent);
    line.Reply(BuildSimReply(CMD_LOAD, 0, ""));
    line.Reply(BuildSimReply(CMD_TRACK, 99, ""));
    EXPECT_EQ(PlayDiscTrack(5, 3, 0), kPlaySent);
    Commands expected = {"01A05", "01A05", "04A02", "10", "07", "01A05", "04A03", "10", "08"};
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
    auto firstOrder = PlaylistEntries();

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
    FillSlot(3, 1, 1);
    BuildPlaylist();
    auto order = PlaylistEntries();
    int gone = order[0].first;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        g_slots[gone - 1].wFlags = 0;
    }
    // Nothing goes out for the gone disc; the next entry plays at once.
    PlayNextEntry();
    char load[8];
    FormatSlotArgument(order[1].first, load);
    EXPECT_EQ(Sent(), (Commands{std::string("01") + load, "04A01", "10", "07"}));
    EXPECT_EQ(g_nPlaylistPos, 2);
}

TEST(PlaylistStyle, ATracksOwnStyleElseItsDiscsMatchesWithoutCase) {
    struct Case {
        const char* name;
        const char* trackStyle;
        const char* discStyle;
        const char* wanted;
        bool selected;
    };
    const Case cases[] = {
        {"track style", "Jazz", "", "Jazz", true},
        {"disc style", "", "Jazz", "Jazz", true},
        {"track style over disc style", "Rock", "Jazz", "Jazz", false},
        {"track style over disc style, matching", "Jazz", "Rock", "Jazz", true},
        {"case ignored", "JAZZ", "", "jazz", true},
        {"exact, not a prefix", "Jazz Rock", "", "Jazz", false},
        {"exact, not longer", "Jazz", "", "Jazz ", false},
        {"no style", "", "", "Jazz", false},
        {"empty asked: nothing", "", "", "", false},
        {"empty asked with styled tracks: nothing", "Jazz", "Jazz", "", false},
        {"bytes above ASCII compared as they are", "Caf\xc3\xa9", "", "CAF\xc3\xa9", true},
        {"no match", "Blues", "Soul", "Jazz", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<StyledTrack> tracks = {{7, 3, c.trackStyle, c.discStyle}};
        EXPECT_EQ(SelectStyle(tracks, c.wanted).size(), c.selected ? 1u : 0u);
    }
}

// Slots 1 (disc JAZZDISC, style Jazz, track 2 marked Rock) and 2 (disc
// ROCKDISC, no style, track 3 marked jazz), three tracks each.
class PlaylistStyleShuffleTest : public PlaylistTest {
protected:
    void SetUp() override {
        PlaylistTest::SetUp();
        Disc(1, "JAZZDISC");
        Disc(2, "ROCKDISC");
        ASSERT_TRUE(SetDiscStyle("JAZZDISC", "Jazz"));
        ASSERT_TRUE(SetTrackTitleStyle("JAZZDISC", 2, "", "Rock"));
        ASSERT_TRUE(SetTrackTitleStyle("ROCKDISC", 3, "Late", "jazz"));
        g_nRandomSeed = 99;
    }

    static void Disc(int slot, const char* id) {
        FillSlot(slot, 1, 3);
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        std::snprintf(g_slots[slot - 1].szDiscId, sizeof g_slots[slot - 1].szDiscId, "%s", id);
    }

    static std::vector<std::pair<int, int>> Sorted(std::vector<std::pair<int, int>> entries) {
        std::sort(entries.begin(), entries.end());
        return entries;
    }
};

TEST_F(PlaylistStyleShuffleTest, OnlyTheStylesTracksArePlayedAndReshuffled) {
    using EntryList = std::vector<std::pair<int, int>>;
    struct Case {
        const char* name;
        const char* style;
        EntryList selected;
    };
    const Case cases[] = {
        {"disc and track styles", "JAZZ", {{1, 1}, {1, 3}, {2, 3}}},
        {"a track's own style", "rock", {{1, 2}}},
        {"no such style", "Blues", {}},
        {"empty style", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A shuffle of every track to start from.
        StartShuffle();
        const auto before = PlaylistEntries();
        const int beforePos = g_nPlaylistPos;
        g_nMode = ModeWholeDisc;
        const size_t mark = line.Written().size();

        int count = StartStyleShuffle(c.style);
        EXPECT_EQ(count, static_cast<int>(c.selected.size()));
        if (c.selected.empty()) {
            // Playlist, position and mode as they were; nothing sent.
            EXPECT_EQ(PlaylistEntries(), before);
            EXPECT_EQ(g_nPlaylistPos, beforePos);
            EXPECT_EQ(g_nMode, ModeWholeDisc);
            EXPECT_EQ(line.Written().size(), mark);
            continue;
        }
        EXPECT_EQ(g_nMode, ModeShuffle);
        EXPECT_EQ(Sorted(PlaylistEntries()), c.selected);
        // Played entry by entry, then reshuffled from the same selection.
        for (size_t round = 0; round < 3 * c.selected.size(); ++round) {
            PlayNextEntry();
            EXPECT_EQ(Sorted(PlaylistEntries()), c.selected);
        }
        // Random goes back to every track.
        StartShuffle();
        EXPECT_EQ(PlaylistEntries().size(), 6u);
        EXPECT_EQ(g_sShuffleStyle, "");
    }
}

TEST_F(PlaylistStyleShuffleTest, ADiscReadAnewKeepsOnlyItsTracksOfTheStyle) {
    ASSERT_EQ(StartStyleShuffle("Jazz"), 3);
    g_nPlaylistPos = 0;
    const std::pair<int, int> atPosition = PlaylistEntries()[0];
    // Slot 2 now holds another disc: Rock, but for its track 2.
    Disc(2, "NEWDISC");
    ASSERT_TRUE(SetDiscStyle("NEWDISC", "Rock"));
    ASSERT_TRUE(SetTrackTitleStyle("NEWDISC", 2, "", "JAZZ"));
    UpdatePlaylistForSlot(2);

    auto entries = PlaylistEntries();
    EXPECT_EQ(entries[0], atPosition);  // the entry at the position stays
    std::vector<std::pair<int, int>> expected = {{1, 1}, {1, 3}, {2, 2}};
    if (atPosition == std::make_pair(2, 3)) {
        expected.push_back(atPosition);
    }
    EXPECT_EQ(Sorted(entries), Sorted(expected));
}

TEST_F(PlaylistStyleShuffleTest, EveryCommandOfAStyleShufflePlaysAStyledTrack) {
    ASSERT_EQ(StartStyleShuffle("jazz"), 3);
    for (int i = 0; i < 8; ++i) {
        PlayNextEntry();
    }
    std::string load;
    int plays = 0;
    for (const std::string& command : Sent()) {
        if (command.rfind("01", 0) == 0) {
            load = command;
        } else if (command.rfind("04", 0) == 0) {
            ++plays;
            bool jazz =
                (load == "01A01" && command != "04A02") || (load == "01A02" && command == "04A03");
            EXPECT_TRUE(jazz) << load << " " << command;
        }
    }
    EXPECT_EQ(plays, 9);
}

// Slots 2, 4 and 6 are in the table; the changer holds only the discs of
// the slots given, and answers a load of any other with result 01.
class MissingDiscTest : public PlaylistTest {
protected:
    void Use(const std::vector<int>& inChanger) {
        SimMagazine magazine;
        for (int slot : inChanger) {
            magazine[slot] = {"ZUB", 1, {60, 60, 60}};
        }
        sim = std::make_unique<SimLine>(magazine);
        g_hCom = sim.get();
        FillSlot(2, 1, 3);
        FillSlot(4, 1, 3);
        FillSlot(6, 1, 3);
        g_nRandomSeed = 31;
        BuildPlaylist();
        g_nPlaylistPos = 0;
    }
    Commands Sent() { return SentCommands(sim->Written()); }

    std::unique_ptr<SimLine> sim;
};

TEST_F(MissingDiscTest, EntriesWhoseDiscDoesNotLoadArePassedOver) {
    Use({4});
    auto order = PlaylistEntries();
    // Each call plays the next entry of slot 4; a missing disc is asked for
    // once per call at most.
    size_t from = 0;
    for (int call = 0; call < 3; ++call) {
        size_t before = Sent().size();
        PlayNextEntry();
        Commands sent = Sent();
        Commands made(sent.begin() + before, sent.end());
        ASSERT_GE(made.size(), 4u);
        Commands tail(made.end() - 4, made.end());
        while (order[from].first != 4) {
            ++from;
        }
        char track[8];
        FormatTrackArgument(order[from].second, track);
        EXPECT_EQ(tail, (Commands{"01A04", std::string("04") + track, "10", "07"})) << call;
        Commands skipped(made.begin(), made.end() - 4);
        std::sort(skipped.begin(), skipped.end());
        EXPECT_EQ(std::unique(skipped.begin(), skipped.end()), skipped.end()) << call;
        for (const std::string& command : skipped) {
            EXPECT_TRUE(command == "01A02" || command == "01A06") << command;
        }
        EXPECT_EQ(g_nPlaylistPos, static_cast<int>(from + 1) % 9) << call;
        ++from;
    }
}

TEST_F(MissingDiscTest, NoDiscLoadsAtMostOnePassThenWaits) {
    Use({});
    for (int call = 0; call < 2; ++call) {
        int before = g_nPlaylistPos;
        size_t sentBefore = Sent().size();
        PlayNextEntry();
        Commands sent = Sent();
        Commands made(sent.begin() + sentBefore, sent.end());
        std::sort(made.begin(), made.end());
        // One load per missing disc, then the call gives up a whole pass on.
        EXPECT_EQ(made, (Commands{"01A02", "01A04", "01A06"})) << call;
        EXPECT_EQ(g_nPlaylistPos, before) << call;
        EXPECT_EQ(g_nPlaylistCount, 9);
    }
}

}  // namespace
