// The main window's logic: every button's commands and mode change, the
// disc-list click, the title and the status panel's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/window_hooks_posix.h"

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "changer/track_note_cells.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"
#include "link/changer_port.h"
#include "resources/resource_ids.h"
#include "tests/support/fake_list.h"
#include "tests/support/reset_state.h"
#include "tests/support/scripted_line.h"
#include "tests/support/sim_line.h"
#include "ui/main_window_logic.h"

namespace {

using Commands = std::vector<std::string>;

// Whether another thread can take the lock now.
bool FreeForOthers(std::recursive_mutex& mutex) {
    bool free = false;
    std::thread probe([&] {
        std::unique_lock<std::recursive_mutex> lock(mutex, std::try_to_lock);
        free = lock.owns_lock();
    });
    probe.join();
    return free;
}

struct ShownBox {
    std::string text;
    std::string caption;
    bool locksFree;  // status, playlist and serial lock all free while shown
};

class FakeWindow : public MainWindowSurface {
public:
    ListControl& DiscList() override { return discs; }
    ListControl& TrackList() override { return tracks; }
    void EnableShuffleButtons() override { shuffleEnabled = true; }
    void DestroyMainWindow() override { destroyed = true; }
    // Stands for what the platform dispatches meanwhile (clicks, a
    // forwarded remote command).
    void HandlePendingMessages() override {
        ++pendingCalls;
        if (onPending) {
            onPending(pendingCalls);
        }
    }
    void ShowOwnedErrorBox(const char* text, const char* caption) override {
        boxes.push_back({text, caption,
                         FreeForOthers(g_hStatusMutex) && FreeForOthers(g_hPlaylistMutex) &&
                             FreeForOthers(g_hComMutex)});
    }

    FakeList discs;
    FakeList tracks;
    bool shuffleEnabled = false;
    bool destroyed = false;
    int pendingCalls = 0;
    std::function<void(int call)> onPending;
    std::vector<ShownBox> boxes;
};

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        g_bCommandRunning = false;
        g_bExitRequested = false;
        g_hCom = &line;
        g_nMode = ModeStop;
        for (int row = 0; row < 100; ++row) {
            window.discs.InsertRow(row, std::to_string(row + 1).c_str());
        }
    }
    void TearDown() override {
        ResetChangerState();
        g_bCommandRunning = false;
        g_bExitRequested = false;
    }

    // Presses a button and returns what it sent.
    Commands Press(uintptr_t wordParam) {
        size_t before = Written().size();
        HandleButtonCommand(wordParam, window);
        return SentCommands(Written().substr(before));
    }

    std::string Written() {
        return g_hCom == &line ? line.Written() : static_cast<ReplyQueueLine*>(g_hCom)->Written();
    }

    ScriptedLine line;
    FakeWindow window;
};

TEST_F(ButtonTest, LoadSendsTheSelectedSlot) {
    EXPECT_EQ(Press(IDC_LOAD), Commands{"01A02"});  // nothing selected
    window.discs.Select(0);
    EXPECT_EQ(Press(IDC_LOAD), Commands{"01A01"});
    window.discs.ClearSelection();
    window.discs.Select(9);
    EXPECT_EQ(Press(IDC_LOAD), Commands{"01A10"});
    window.discs.ClearSelection();
    window.discs.Select(99);
    EXPECT_EQ(Press(IDC_LOAD), Commands{"01A00"});  // slot 100, as the changer numbers it
    EXPECT_EQ(g_nMode, ModeStop);
}

TEST_F(ButtonTest, PlayPauseStopByMode) {
    EXPECT_EQ(Press(IDC_PLAY), (Commands{"04A01", "10"}));
    EXPECT_EQ(g_nMode, ModePlay);
    for (int mode : {ModePause, ModePlay, ModeShuffle, ModeWholeDisc}) {
        g_nMode = mode;
        EXPECT_EQ(Press(IDC_PLAY), Commands{"10"}) << "mode " << mode;
        EXPECT_EQ(g_nMode, ModePlay);
    }
    EXPECT_EQ(Press(IDC_PAUSE), Commands{"09"});
    EXPECT_EQ(g_nMode, ModePause);
    EXPECT_EQ(Press(IDC_STOP), Commands{"02"});
    EXPECT_EQ(g_nMode, ModeStop);
}

TEST_F(ButtonTest, UnloadedIgnoresPlayPauseStopUntilRandom) {
    for (int mode : {ModePlay, ModePause, ModeStop, ModeShuffle, ModeWholeDisc}) {
        g_nMode = mode;
        EXPECT_EQ(Press(IDC_UNLOAD), Commands{"03"});
        EXPECT_EQ(g_nMode, ModeUnloaded);
    }
    EXPECT_EQ(Press(IDC_PLAY), Commands{});
    EXPECT_EQ(Press(IDC_PAUSE), Commands{});
    EXPECT_EQ(Press(IDC_STOP), Commands{});

    FillSlot(4, 1, 1);
    EXPECT_EQ(Press(IDC_RANDOM), (Commands{"01A04", "04A01", "10", "07"}));
    EXPECT_EQ(g_nMode, ModeShuffle);
}

// Load stops at a disc only when the changer brought one (result 00); an
// empty slot, a loader error or no answer leave the mode as it was.
TEST_F(ButtonTest, LoadResultDecidesTheMode) {
    const struct {
        const char* result;  // nullptr: the changer does not answer
        int modeAfter;
    } cases[] = {
        {"00", ModeStop}, {"01", ModeUnloaded}, {"13", ModeUnloaded}, {nullptr, ModeUnloaded}};
    for (const auto& c : cases) {
        g_nMode = ModeUnloaded;
        if (c.result != nullptr) {
            line.Reply(std::string("\x02"
                                   "0401") +
                       c.result + "\x03");
        }
        EXPECT_EQ(Press(IDC_LOAD), Commands{"01A02"});
        EXPECT_EQ(g_nMode, c.modeAfter) << (c.result ? c.result : "no answer");
    }

    // Unload, Load, Play: the loaded disc plays from track 1.
    EXPECT_EQ(Press(IDC_UNLOAD), Commands{"03"});
    line.Reply(
        std::string("\x02"
                    "0401"
                    "00\x03"));
    EXPECT_EQ(Press(IDC_LOAD), Commands{"01A02"});
    EXPECT_EQ(Press(IDC_PLAY), (Commands{"04A01", "10"}));
    EXPECT_EQ(g_nMode, ModePlay);
    EXPECT_EQ(Press(IDC_PAUSE), Commands{"09"});
}

TEST_F(ButtonTest, RandomBuildsAndPlaysTheFirstEntry) {
    FillSlot(4, 1, 3);
    FillSlot(9, 1, 2);
    g_nMode = ModePlay;
    g_nPlaylistPos = 3;
    Commands sent = Press(IDC_RANDOM);
    EXPECT_EQ(g_nMode, ModeShuffle);
    ASSERT_EQ(sent.size(), 4u);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        ASSERT_EQ(g_nPlaylistCount, 5);
        EXPECT_EQ(g_nPlaylistPos, 1);
        const PlaylistEntry& first = g_hPlaylist[0];
        char load[8], track[8];
        FormatSlotArgument(first.wDisc, load);
        FormatTrackArgument(first.wTrack, track);
        EXPECT_EQ(sent,
                  (Commands{std::string("01") + load, std::string("04") + track, "10", "07"}));
    }

    // Next plays the second entry and keeps the mode.
    g_nMode = ModePause;
    EXPECT_EQ(Press(IDC_NEXT).size(), 4u);
    EXPECT_EQ(g_nPlaylistPos, 2);
    EXPECT_EQ(g_nMode, ModePause);
}

TEST_F(ButtonTest, NextBeforeAnyPlaylistDoesNothing) {
    EXPECT_EQ(Press(IDC_NEXT), Commands{});
    EXPECT_EQ(g_nMode, ModeStop);
}

TEST_F(ButtonTest, ScanEnablesShuffleButtonsWithNoDisc) {
    SimLine sim{SimMagazine()};
    g_hCom = &sim;
    HandleButtonCommand(IDC_SCAN, window);
    EXPECT_TRUE(window.shuffleEnabled);
    EXPECT_EQ(window.discs.RowCount(), 100);
    EXPECT_EQ(window.discs.Cell(0, 1), "no disc");
    EXPECT_EQ(g_nMode, ModeStop);
    g_hCom = &line;
}

TEST_F(ButtonTest, ExitDestroysTheWindow) {
    EXPECT_EQ(Press(IDC_EXIT), Commands{});
    EXPECT_TRUE(window.destroyed);
}

// Forwards remote commands as the program does: run on the window thread,
// here the test's, through the same guard as a click.
FakeWindow* forwardTo = nullptr;
void ForwardToWindow(int controlId) {
    HandleButtonCommand(static_cast<uintptr_t>(controlId), *forwardTo);
}

TEST_F(ButtonTest, ButtonsDuringAScanAreDropped) {
    SimMagazine magazine;
    magazine[2] = {"ZUB0000002", 1, {60, 70}};
    SimLine sim(magazine);
    g_hCom = &sim;
    int windowToken = 0;
    g_hWnd = &windowToken;
    forwardTo = &window;
    SetButtonCommandHandler(ForwardToWindow);
    window.onPending = [&](int) {
        for (uintptr_t id : {IDC_SCAN, IDC_PLAY, IDC_RANDOM, IDC_NEXT, IDC_UNLOAD, IDC_LOAD}) {
            HandleButtonCommand(id, window);
        }
        for (int id : {IDC_PLAY, IDC_PAUSE, IDC_STOP}) {
            SendButtonCommand(g_hWnd.load(), id);
        }
        // A remote rescan, as the remote server queues it.
        PostButtonCommand(g_hWnd.load(), CommandWordWithPair(IDC_RESCAN, 1, 5));
    };
    FillSlot(7, 1, 1);
    Commands sent = Press(IDC_SCAN);

    // Exactly one scan's commands: unload, 100 loads, slot 2's four.
    ASSERT_EQ(sent.size(), 105u);
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [](const std::string& c) { return c.compare(0, 2, "01") == 0; }),
              100);
    EXPECT_EQ(window.pendingCalls, 99);
    EXPECT_EQ(g_nMode, ModeStop);
    EXPECT_FALSE(g_bPlaylistBuilt);
    EXPECT_EQ(window.discs.Cell(1, 1), "ZUB0000002");
    EXPECT_TRUE(window.shuffleEnabled);
    EXPECT_FALSE(window.destroyed);
    EXPECT_TRUE(window.boxes.empty());

    // Afterwards buttons work again.
    window.onPending = nullptr;
    EXPECT_EQ(Press(IDC_STOP), Commands{"02"});
    SetButtonCommandHandler(nullptr);
    g_hWnd = nullptr;
    forwardTo = nullptr;
}

// A remote rescan runs as the Scan button does, over its range alone; an
// impossible range in the command word sends nothing.
TEST_F(ButtonTest, RemoteRescanScansItsRange) {
    SimMagazine magazine;
    magazine[4] = {"ZUB0000004", 1, {60}};
    SimLine sim(magazine);
    g_hCom = &sim;
    EXPECT_EQ(Press(CommandWordWithPair(IDC_RESCAN, 3, 5)),
              (Commands{"03", "01A03", "01A04", "13", "15", "17A01", "01A05"}));
    EXPECT_EQ(window.discs.Cell(3, 1), "ZUB0000004");
    EXPECT_EQ(window.discs.Cell(2, 1), "no disc");
    EXPECT_EQ(window.discs.Cell(5, 1), "");  // outside the range: as it stood
    EXPECT_TRUE(window.shuffleEnabled);
    for (auto range : {std::make_pair(5, 4), std::make_pair(0, 3), std::make_pair(1, 101)}) {
        EXPECT_EQ(Press(CommandWordWithPair(IDC_RESCAN, range.first, range.second)), Commands{});
    }
}

// A simulated changer that runs a hook as the n-th track information request
// goes out, as a modal loop inside that exchange would.
class HookedSimLine : public SimLine {
public:
    using SimLine::SimLine;
    std::function<void()> onTrackInfo;
    int hookAt = 2;

    int Write(const unsigned char* bytes, int count) override {
        std::string frame(reinterpret_cast<const char*>(bytes), count);
        if (SentCommands(frame).at(0).compare(0, 2, "17") == 0 && ++trackInfos_ == hookAt &&
            onTrackInfo) {
            onTrackInfo();
        }
        return SimLine::Write(bytes, count);
    }

private:
    int trackInfos_ = 0;
};

TEST_F(ButtonTest, ScanClickedInsideAScanExchangeIsDropped) {
    // An inner scan would free the track array that the outer one is
    // filling (AddressSanitizer sees the use after free).
    SimMagazine magazine;
    magazine[1] = {"ZUB0000001", 1, {60, 70, 80}};
    HookedSimLine sim(magazine);
    int inner = 0;
    sim.onTrackInfo = [&] {
        ++inner;
        HandleButtonCommand(IDC_SCAN, window);
    };
    g_hCom = &sim;
    Commands sent = Press(IDC_SCAN);
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(sent.size(), 1u + 100u + 2u + 3u);
    ASSERT_EQ(g_slots[0].wTrackCount, 3);
    ASSERT_TRUE(g_slots[0].pTracks);
    MinSec expected;
    expected.Parse("0110");
    char shown[16], want[16];
    g_slots[0].pTracks[1].timeLength.Format(shown);
    expected.Format(want);
    EXPECT_STREQ(shown, want);
}

TEST_F(ButtonTest, ExitOrCloseDuringAScanEndsItAfterTheSlot) {
    for (bool closeBox : {false, true}) {
        window = FakeWindow();
        SetUp();
        SimMagazine magazine;
        magazine[3] = {"ZUB0000003", 1, {60}};
        SimLine sim(magazine);
        g_hCom = &sim;
        window.onPending = [&](int call) {
            if (call == 3) {
                if (closeBox) {
                    HandleCloseRequest(window);
                } else {
                    HandleButtonCommand(IDC_EXIT, window);
                }
                EXPECT_FALSE(window.destroyed);  // not inside the scan
            }
        };
        Commands sent = Press(IDC_SCAN);
        EXPECT_EQ(sent, (Commands{"03", "01A01", "01A02", "01A03", "13", "15", "17A01"}))
            << closeBox;
        EXPECT_EQ(window.pendingCalls, 3);
        EXPECT_TRUE(window.destroyed) << closeBox;
        EXPECT_TRUE(window.boxes.empty());
        EXPECT_EQ(window.discs.RowCount(), 100);
        TearDown();
    }
}

TEST_F(ButtonTest, SilentChangerStopsTheScanWithOneBox) {
    FillSlot(40, 1, 2);               // an earlier scan's disc
    Commands sent = Press(IDC_SCAN);  // the scripted line answers nothing

    EXPECT_EQ(sent, (Commands{"03", "01A01", "01A02"}));
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "The changer does not answer; the scan stopped at slot 2.");
    EXPECT_EQ(window.boxes[0].caption, "Error");
    EXPECT_TRUE(window.boxes[0].locksFree);
    EXPECT_TRUE(window.shuffleEnabled);
    ASSERT_EQ(window.discs.RowCount(), 100);
    EXPECT_EQ(window.discs.Row(99), (std::vector<std::string>{"100", "no disc", "", "", "", ""}));
    EXPECT_EQ(g_slots[39].wFlags, 0);
    EXPECT_FALSE(window.destroyed);

    // Random then finds no disc and plays nothing.
    EXPECT_EQ(Press(IDC_RANDOM), Commands{});
}

TEST_F(ButtonTest, WholeWordParameterMustMatch) {
    for (uintptr_t wordParam : {uintptr_t(1) << 16 | IDC_PLAY, uintptr_t(1) << 16 | IDC_EXIT,
                                uintptr_t(IDC_DISCLIST), uintptr_t(1004), uintptr_t(0)}) {
        EXPECT_EQ(Press(wordParam), Commands{}) << wordParam;
    }
    EXPECT_FALSE(window.destroyed);
    EXPECT_EQ(g_nMode, ModeStop);
}

// Three rows in the disc list, the second (slot 2's in these cases) selected
// and clicked.
void ClickSecondDiscRow(FakeList& discs, FakeList& tracks) {
    for (int row = 0; row < 3; ++row) {
        discs.InsertRow(row, "r");
    }
    discs.Select(1);
    HandleListNotify(IDC_DISCLIST, kNotifyClick, discs, tracks);
}

TEST(DiscListClick, ShowsTracksOfTheSelectedRowOnly) {
    ResetChangerState();
    FillSlot(2, 5, 2);
    g_slots[1].pTracks.reset(new TrackEntry[2]);
    FakeList discs, tracks;
    ClickSecondDiscRow(discs, tracks);
    ASSERT_EQ(tracks.RowCount(), 2);
    EXPECT_EQ(tracks.Cell(0, 0), "5");

    discs.ClearSelection();  // other notifications and other lists: ignored
    HandleListNotify(IDC_DISCLIST, -101, discs, tracks);
    HandleListNotify(IDC_TRACKLIST, kNotifyClick, discs, tracks);
    EXPECT_EQ(tracks.RowCount(), 2);

    HandleListNotify(IDC_DISCLIST, kNotifyClick, discs, tracks);  // no row selected
    EXPECT_EQ(tracks.RowCount(), 0);
    ResetChangerState();
}

TEST(DiscListClick, TrackRowsShowTheStoresNotesWhereItHasThem) {
    struct Case {
        const char* name;
        std::function<void()> notes;    // what the store holds
        std::vector<std::string> row2;  // the track list's row of track 6
        const char* style5 = "";        // track 5's style: its disc's
    };
    const int64_t kPlayedAt = 1700000000;
    const std::string kDate = PlayedText(1, kPlayedAt).substr(3);  // local date
    const Case cases[] = {
        {"nothing: as a fresh install", [] {}, {"6", "0:00", "0:00", "", "", ""}},
        {"another disc's notes",
         [] { SetTrackTitleStyle("OTHER", 6, "T", "S"); },
         {"6", "0:00", "0:00", "", "", ""}},
        {"title and style",
         [] { SetTrackTitleStyle("NOTED", 6, "Six", "Jazz"); },
         {"6", "0:00", "0:00", "Six", "Jazz", ""}},
        {"the disc's style stands for the track's",
         [] {
             SetDiscStyle("NOTED", "Blues");
             SetTrackTitleStyle("NOTED", 6, "Six", "");
         },
         {"6", "0:00", "0:00", "Six", "Blues", ""},
         "Blues"},
        {"texts beyond ASCII: in the window's Windows-1252, '?' for what it lacks",
         [] {
             SetDiscStyle("NOTED", "\xC3\x89t\xC3\xA9");
             SetTrackTitleStyle("NOTED", 6, "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x9C\x93", "");
         },
         {"6", "0:00", "0:00", "Caf\xE9 \x80 ?", "\xC9t\xE9", ""},
         "\xC9t\xE9"},
        {"plays",
         [=] {
             RecordPlay("NOTED", 6, kPlayedAt - 100);
             RecordPlay("NOTED", 6, kPlayedAt);
         },
         {"6", "0:00", "0:00", "", "", "2, " + kDate}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetChangerState();
        FillSlot(2, 5, 2);
        std::snprintf(g_slots[1].szDiscId, sizeof g_slots[1].szDiscId, "%s", "NOTED");
        g_slots[1].pTracks.reset(new TrackEntry[2]);
        c.notes();
        FakeList discs, tracks;
        ClickSecondDiscRow(discs, tracks);
        ASSERT_EQ(tracks.RowCount(), 2);
        EXPECT_EQ(tracks.Row(1), c.row2);
        EXPECT_EQ(tracks.Row(0), (std::vector<std::string>{"5", "0:00", "0:00", "", c.style5, ""}));
    }
    EXPECT_EQ(kDate.size(), 10u);
    EXPECT_EQ(PlayedText(0, kPlayedAt), "");
    EXPECT_EQ(PlayedText(3, 0), "3");
    ResetChangerState();
}

TEST(WindowTitle, PortAppended) {
    EXPECT_EQ(TitleWithPort("ZUB CD Changer"), "ZUB CD Changer #0 on COM1");
    g_nChanger = 99;
    g_portName = "COM12";
    EXPECT_EQ(TitleWithPort("ZUB CD Changer"), "ZUB CD Changer #99 on COM12");
    g_nChanger = kDefaultChanger;
    g_portName = kChangerPortName;
}

class StatusPanelTest : public ::testing::Test {
protected:
    void SetUp() override { ResetChangerState(); }
    void TearDown() override { ResetChangerState(); }
};

TEST_F(StatusPanelTest, BeforeTheFirstStatus) {
    StatusPanelText panel = FormatStatusPanel();
    ASSERT_EQ(panel.lineCount, 3);
    EXPECT_EQ(panel.lines[0], "Disc: 0:00 Track: 0:00 Autopause: off");
    EXPECT_EQ(panel.lines[1], "Disc 0 Track 0 Index 0");
    EXPECT_EQ(panel.lines[2], "(none)");
}

TEST_F(StatusPanelTest, ReportedValues) {
    g_timeDisc.Parse("1234");
    g_timeTrack.Parse("0405");
    g_bAutopause = 1;
    g_nDisc = 100;
    g_nTrack = 7;
    g_nIndex = 2;
    g_nStatus = StatusPauseAutopause;
    StatusPanelText panel = FormatStatusPanel();
    EXPECT_EQ(panel.lines[0], "Disc: 12:34 Track: 4:05 Autopause: on");
    EXPECT_EQ(panel.lines[1], "Disc 100 Track 7 Index 2");
    EXPECT_EQ(panel.lines[2], "pause due to autopause");
    g_nStatus = 40;  // not a row: shown as row 0
    EXPECT_EQ(FormatStatusPanel().lines[2], "(none)");
}

TEST_F(StatusPanelTest, NextEntryAfterRandom) {
    ScriptedLine line;
    g_hCom = &line;
    FillSlot(4, 1, 3);
    FillSlot(9, 1, 2);
    PressRandom();
    StatusPanelText panel = FormatStatusPanel();
    ASSERT_EQ(panel.lineCount, 4);
    const PlaylistEntry& second = g_hPlaylist[1];
    EXPECT_EQ(panel.lines[3], "Next: Disc " + std::to_string(second.wDisc) + " Track " +
                                  std::to_string(second.wTrack) + " (2 of 5)");
}

TEST_F(StatusPanelTest, NextNoneWhenNoEntryIsNamed) {
    ScriptedLine line;
    g_hCom = &line;
    PressRandom();  // no disc: an empty playlist
    StatusPanelText panel = FormatStatusPanel();
    ASSERT_EQ(panel.lineCount, 4);
    EXPECT_EQ(panel.lines[3], "Next: none");

    FillSlot(4, 1, 2);
    PressRandom();
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        g_nPlaylistPos = 7;
    }
    EXPECT_EQ(FormatStatusPanel().lines[3], "Next: none");
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        g_nPlaylistPos = -1;
    }
    EXPECT_EQ(FormatStatusPanel().lines[3], "Next: none");
}

}  // namespace
