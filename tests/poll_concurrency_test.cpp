// The poll, play requests, a playlist reader and a table writer on separate
// threads at once: the locks keep every command unit whole and the playlist
// consistent (run under ThreadSanitizer for the data-race side).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
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
#include "tests/support/scripted_line.h"
#include "ui/main_window_logic.h"

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

// A line that holds every LOAD frame's write until opened, as a slow or
// silent changer holds a play request.
class GatedLine : public ScriptedLine {
public:
    int Write(const unsigned char* bytes, int count) override {
        if (count > 4 && bytes[3] == '0' && bytes[4] == '1') {
            std::unique_lock<std::mutex> lock(gateMutex_);
            entered_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
        }
        return ScriptedLine::Write(bytes, count);
    }
    bool WaitUntilEntered() {
        std::unique_lock<std::mutex> lock(gateMutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return entered_; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(gateMutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex gateMutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

TEST(PollConcurrency, PanelIsFormattedWhileThePollWaitsOnAPlayRequest) {
    ResetChangerState();
    GatedLine line;
    g_hCom = &line;
    FillSlot(4, 1, 12);
    BuildPlaylist();
    g_nPlaylistPos = 0;
    g_nMode = ModeShuffle;
    const std::string nextBefore = FormatStatusPanel().lines[3];
    ASSERT_EQ(nextBefore.compare(0, 13, "Next: Disc 4 "), 0);

    // The poll sees a track end and starts the next entry; its LOAD hangs.
    line.Reply(StatusReply("PT", true, 4, 1));
    std::thread poller(PollStatusOnce);
    ASSERT_TRUE(line.WaitUntilEntered());

    // The painter gets the new status and the entry it last read at once.
    std::future<StatusPanelText> painted = std::async(std::launch::async, FormatStatusPanel);
    bool answered = painted.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    line.Open();
    poller.join();
    ASSERT_TRUE(answered);
    StatusPanelText panel = painted.get();
    EXPECT_EQ(panel.lines[2], "pause due to autopause");
    EXPECT_EQ(panel.lines[3], nextBefore);
    EXPECT_NE(FormatStatusPanel().lines[3].find("(2 of 12)"), std::string::npos);
    ResetChangerState();
}

}  // namespace
