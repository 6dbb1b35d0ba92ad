// The shuffle player against the simulated changer: the poll alone advances
// through every entry when the changer pauses at a track end, and each pass
// over the list plays every entry exactly once before the list is reshuffled.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "link/serial_line_posix.h"
#include "tests/support/reset_state.h"
#include "tools/changer-sim/changer_sim.h"
#include "ui/main_window_logic.h"

namespace {

using Entry = std::pair<int, int>;  // disc, track

SimDisc Disc(const char* id, int firstTrack, std::vector<int> trackSeconds) {
    SimDisc disc;
    disc.id = id;
    disc.firstTrack = firstTrack;
    disc.trackSeconds = std::move(trackSeconds);
    return disc;
}

std::vector<Entry> Playlist() {
    std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
    std::vector<Entry> entries;
    for (const PlaylistEntry& entry : g_hPlaylist) {
        entries.push_back({entry.wDisc, entry.wTrack});
    }
    return entries;
}

// The disc and track of every play unit the changer received, in order.
std::vector<Entry> PlayedEntries(const ChangerSim& sim) {
    std::vector<Entry> played;
    int disc = -1;
    for (const SimFrameRecord& frame : sim.Frames()) {
        if (frame.command == SimLoad) {
            disc = std::stoi(frame.argument.substr(1));
            disc = disc == 0 ? 100 : disc;
        } else if (frame.command == SimTrack && disc >= 0) {
            played.push_back({disc, std::stoi(frame.argument.substr(1))});
            disc = -1;
        }
    }
    return played;
}

class ShuffleSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        ChangerSimOptions options;
        options.manualClock = true;
        options.magazine = {{1, Disc("ALPHA", 1, {30, 40})},
                            {5, Disc("BRAVO", 3, {20, 25, 35})},
                            {100, Disc("CHARLIE", 1, {50})}};
        sim = std::make_unique<ChangerSim>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        line = OpenPosixSerialLine(sim->SlavePath().c_str(), 5000);
        ASSERT_NE(line, nullptr);
        g_hCom = line.get();
        // The table as a scan of this magazine leaves it.
        FillSlot(1, 1, 2);
        FillSlot(5, 3, 3);
        FillSlot(100, 1, 1);
    }
    void TearDown() override {
        ResetChangerState();
        line.reset();
        sim.reset();
    }

    std::unique_ptr<ChangerSim> sim;
    std::unique_ptr<SerialLine> line;
};

TEST_F(ShuffleSimTest, PollAdvancesThroughEveryEntryAndReshuffles) {
    const int kEntries = 6;
    const int kPasses = 3;
    g_nRandomSeed = 4242;

    PressRandom();

    std::vector<std::vector<Entry>> passOrders;
    std::vector<Entry> expected;
    std::vector<Entry> firstPass = Playlist();
    passOrders.push_back(firstPass);
    bool sawDiscEnd = false;

    for (int played = 1; played <= kEntries * kPasses; ++played) {
        int index = (played - 1) % kEntries;
        Entry current = passOrders.back()[index];
        expected.push_back(current);
        if (index == kEntries - 1) {
            // Rebuilt right after the last entry was started.
            EXPECT_EQ(g_nPlaylistPos, 0);
            passOrders.push_back(Playlist());
        } else {
            EXPECT_EQ(g_nPlaylistPos, index + 1);
        }

        // While the track plays the poll reports it and moves nothing on.
        PollStatusOnce();
        EXPECT_EQ(g_nStatus, StatusPlay);
        EXPECT_EQ(g_nDisc, current.first);
        EXPECT_EQ(g_nTrack, current.second);
        EXPECT_EQ(PlayedEntries(*sim).size(), expected.size());

        // The track ends; the changer pauses by itself and the next poll
        // starts the next entry.
        sim->AdvanceTime(60);
        PollStatusOnce();
        EXPECT_TRUE(g_nStatus == StatusPauseAutopause || g_nStatus == StatusPauseEndOfDisc);
        sawDiscEnd = sawDiscEnd || g_nStatus == StatusPauseEndOfDisc;
        EXPECT_EQ(g_nMode, ModeShuffle);
    }
    expected.push_back(passOrders.back()[0]);  // started by the last poll

    EXPECT_TRUE(sawDiscEnd);
    EXPECT_EQ(PlayedEntries(*sim), expected);
    ASSERT_EQ(passOrders.size(), size_t(kPasses + 1));
    for (std::vector<Entry> order : passOrders) {
        // Every entry exactly once per pass.
        std::sort(order.begin(), order.end());
        std::vector<Entry> all = {{1, 1}, {1, 2}, {5, 3}, {5, 4}, {5, 5}, {100, 1}};
        EXPECT_EQ(order, all);
    }
    EXPECT_FALSE(passOrders[0] == passOrders[1] && passOrders[1] == passOrders[2]);
}

TEST_F(ShuffleSimTest, DiscRemovedMidPassIsPassedOverAndPlayGoesOn) {
    g_nRandomSeed = 4242;
    PressRandom();
    std::vector<Entry> order = Playlist();
    // Take out the disc of an entry still to come, not one already played;
    // the table still lists it.
    size_t next = 2;
    while (order[next].first == order[0].first || order[next].first == order[1].first) {
        ++next;
    }
    int gone = order[next].first;
    sim->RemoveDisc(gone);

    // Two whole passes' worth of track ends: every one starts another entry.
    std::vector<Entry> expected = {order[0], order[1]};
    for (int played = 1; played <= 2 * 6; ++played) {
        sim->AdvanceTime(60);
        PollStatusOnce();
        ASSERT_NE(g_nStatus, 1) << "stuck with no CD in the loader after " << played;
        PollStatusOnce();
        EXPECT_EQ(g_nStatus, StatusPlay) << played;
        EXPECT_NE(g_nDisc, gone);
        EXPECT_EQ(g_nMode, ModeShuffle);
    }
    std::vector<Entry> played = PlayedEntries(*sim);
    EXPECT_EQ(played.size(), 13u);
    EXPECT_EQ(std::vector<Entry>(played.begin(), played.begin() + 2), expected);
    for (size_t i = 1; i < played.size(); ++i) {
        EXPECT_NE(played[i].first, gone) << i;
    }
}

}  // namespace
