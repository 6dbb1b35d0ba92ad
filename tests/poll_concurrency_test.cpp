// The poll, play requests, a playlist reader and a table writer on separate
// threads at once: the locks keep every command unit whole and the playlist
// consistent (run under ThreadSanitizer for the data-race side).
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "tests/support/answering_line.h"
#include "tests/support/reset_state.h"

namespace {

TEST(PollConcurrency, PollPlayersReaderAndScanTogether) {
    const int kRounds = 200;
    ResetChangerState();
    AnsweringLine line;
    g_hCom = &line;
    FillSlot(4, 1, 12);
    FillSlot(9, 1, 3);
    BuildPlaylist();
    g_nMode = ModeShuffle;

    std::atomic<int> badReads{0};
    std::thread poller([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (i % 2 == 0) {
                g_nMode = ModeWholeDisc;
            }
            PollStatusOnce();
        }
    });
    std::thread player([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (i % 25 == 0) {
                // The Random button: rebuild, restart, play, all in one hold.
                std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
                BuildPlaylist();
                g_nPlaylistPos = 0;
                g_nMode = ModeShuffle;
                PlayNextEntry();
            } else {
                PlayNextEntry();
            }
            PlayDiscTrack(9, 2, 0);
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < kRounds * 5; ++i) {
            {
                std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
                bool consistent = g_nPlaylistCount == static_cast<int>(g_hPlaylist.size()) &&
                                  (g_nPlaylistCount == 0 || g_nPlaylistPos < g_nPlaylistCount);
                if (!consistent ||
                    (g_nPlaylistCount > 0 && g_hPlaylist[g_nPlaylistPos].wDisc == 0)) {
                    ++badReads;
                }
            }
            std::lock_guard<std::recursive_mutex> lock(g_hStatusMutex);
            char text[8];
            g_timeTrack.Format(text);
            if (g_nStatus < 0 || g_nStatus >= kStatusCodeCount) {
                ++badReads;
            }
        }
    });
    std::atomic<bool> done{false};
    std::thread scanner([&] {
        // A rescan rewriting slot 9 under the serial lock, as the scan does,
        // for as long as the others run.
        for (int i = 0; !done && i < kRounds * 1000; ++i) {
            {
                std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
                DiscSlot& slot = g_slots[8];
                slot.wFlags = 0;
                slot.wTrackCount = static_cast<uint16_t>(1 + i % 5);
                slot.wFlags = SLOT_PRESENT;
            }
            std::this_thread::yield();
        }
    });
    poller.join();
    player.join();
    reader.join();
    done = true;
    scanner.join();

    EXPECT_EQ(badReads, 0);
    // Every play unit went out whole: a load is always followed by track,
    // play and autopause, with nothing between them.
    std::vector<std::string> sent = SentCommands(line.Written());
    int units = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i].compare(0, 2, "01") != 0) {
            continue;
        }
        ++units;
        ASSERT_LE(i + 3, sent.size() - 1);
        EXPECT_EQ(sent[i + 1].compare(0, 2, "04"), 0);
        EXPECT_EQ(sent[i + 2], "10");
        EXPECT_TRUE(sent[i + 3] == "07" || sent[i + 3] == "08");
    }
    EXPECT_GE(units, kRounds);
    ResetChangerState();
}

}  // namespace
