// The magazine scan over a simulated changer and scripted replies, into fake
// lists: rows, cells, the magazine table, the commands sent, the lock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/magazine_scan.h"
#include "link/changer_link.h"
#include "tests/support/fake_list.h"
#include "tests/support/reset_state.h"
#include "tests/support/scripted_line.h"
#include "tests/support/sim_line.h"
#include "tools/changer-sim/sim_frame.h"

namespace {

using Commands = std::vector<std::string>;

SimDisc Disc(const std::string& id, std::vector<int> trackSeconds, int firstTrack = 1) {
    SimDisc disc;
    disc.id = id;
    disc.firstTrack = firstTrack;
    disc.trackSeconds = std::move(trackSeconds);
    return disc;
}

std::string Time(const MinSec& time) {
    char text[16];
    time.Format(text);
    return text;
}

// Runs each test in a fresh directory holding its own catalogue "zub.txt".
class ScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        char pattern[] = "/tmp/zubscan.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldDir = cwd;
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override {
        ResetChangerState();
        std::remove((dir + "/zub.txt").c_str());
        EXPECT_EQ(chdir(oldDir.c_str()), 0);
        rmdir(dir.c_str());
    }

    void WriteCatalogue(const std::string& text) {
        std::FILE* file = std::fopen("zub.txt", "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }

    ScanResult Scan(SerialLine& line) {
        g_hCom = &line;
        return ScanMagazine(discs, tracks, progress);
    }

    // Counts its calls and finds g_hComMutex held at each; stops the scan
    // after slot stopAfter (0: never).
    class CountingProgress : public ScanProgress {
    public:
        bool ContinueAfterSlot() override {
            ++calls;
            std::thread probe([this] {
                std::unique_lock<std::recursive_mutex> lock(g_hComMutex, std::try_to_lock);
                lockFree = lockFree || lock.owns_lock();
                // What another thread's reader sees meanwhile, without the lock.
                copies.emplace_back();
                ReadMagazineCopy(&copies.back());
            });
            probe.join();
            return calls != stopAfter;
        }
        int calls = 0;
        int stopAfter = 0;
        bool lockFree = false;
        std::vector<MagazineCopy> copies;  // one per call
    };

    FakeList discs;
    FakeList tracks;
    CountingProgress progress;
    std::string dir;
    std::string oldDir;
};

TEST_F(ScanTest, EmptyMagazine) {
    SimLine line{SimMagazine()};
    discs.InsertRow(0, "stale");
    ScanResult result = Scan(line);
    // Every empty slot answers its load: the scan runs to the end.
    EXPECT_EQ(result.end, ScanCompleted);
    EXPECT_EQ(result.lastSlot, 100);
    EXPECT_EQ(progress.calls, 99);  // between slots only
    EXPECT_FALSE(progress.lockFree);

    ASSERT_EQ(discs.RowCount(), 100);
    for (int row = 0; row < 100; ++row) {
        EXPECT_EQ(discs.Row(row),
                  (std::vector<std::string>{std::to_string(row + 1), "no disc", "", "", "", ""}))
            << "row " << row;
        EXPECT_FALSE(g_slots[row].wFlags & SLOT_PRESENT);
        EXPECT_FALSE(g_slots[row].pTracks);
    }
    EXPECT_EQ(tracks.RowCount(), 0);
    EXPECT_EQ(discs.repaints, 100);
    EXPECT_EQ(tracks.repaints, 100);
    EXPECT_EQ(discs.lastVisible, 99);

    Commands sent = SentCommands(line.Written());
    ASSERT_EQ(sent.size(), 101u);  // unload, then one load per slot
    EXPECT_EQ(sent[0], "03");
    EXPECT_EQ(sent[1], "01A01");
    EXPECT_EQ(sent[99], "01A99");
    EXPECT_EQ(sent[100], "01A00");
}

TEST_F(ScanTest, LoadedDiscsFillRowsTableAndTracks) {
    WriteCatalogue("Artist One\tTitle One\r\n\r\n\r\nArtist Four\tTitle Four\r\n");
    SimMagazine magazine;
    // Tracks of 3:48 and 3:15 after the 2 s lead-in: the second starts at
    // 3:50 and ends at 7:05.
    magazine[1] = Disc("ZUB0000001", {228, 195, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60});
    magazine[4] = Disc("ZUB0000004", {100, 200, 300}, 3);
    magazine[100] = Disc("ZUB0000100", {61, 62});
    SimLine line(magazine);
    Scan(line);

    EXPECT_EQ(discs.Row(0), (std::vector<std::string>{"1", "ZUB0000001", "1-12", "17:05",
                                                      "Artist One", "Title One"}));
    EXPECT_EQ(discs.Row(3), (std::vector<std::string>{"4", "ZUB0000004", "3-5", "10:02",
                                                      "Artist Four", "Title Four"}));
    EXPECT_EQ(discs.Row(99),
              (std::vector<std::string>{"100", "ZUB0000100", "1-2", "2:05", "", ""}));
    EXPECT_EQ(discs.Cell(1, 1), "no disc");

    const DiscSlot& first = g_slots[0];
    EXPECT_EQ(first.wFlags, SLOT_PRESENT);
    EXPECT_EQ(first.wFirstTrack, 1);
    ASSERT_EQ(first.wTrackCount, 12);
    ASSERT_TRUE(first.pTracks);
    EXPECT_EQ(Time(first.pTracks[0].timeStart), "0:02");
    EXPECT_EQ(Time(first.pTracks[0].timeLength), "3:48");
    EXPECT_EQ(Time(first.pTracks[1].timeStart), "3:50");
    EXPECT_EQ(Time(first.pTracks[1].timeLength), "3:15");
    EXPECT_EQ(Time(first.timeDisc), "17:05");

    EXPECT_EQ(g_slots[3].wFirstTrack, 3);
    EXPECT_EQ(g_slots[3].wTrackCount, 3);

    // The track list ends with slot 100's tracks.
    ASSERT_EQ(tracks.RowCount(), 2);
    EXPECT_EQ(tracks.Row(0), (std::vector<std::string>{"1", "0:02", "1:01", "", "", ""}));
    EXPECT_EQ(tracks.Row(1), (std::vector<std::string>{"2", "1:03", "1:02", "", "", ""}));

    Commands sent = SentCommands(line.Written());
    Commands slotOne(sent.begin() + 1, sent.begin() + 16);
    EXPECT_EQ(slotOne, (Commands{"01A01", "13", "15", "17A01", "17A02", "17A03", "17A04", "17A05",
                                 "17A06", "17A07", "17A08", "17A09", "17A10", "17A11", "17A12"}));
    Commands slotHundred(sent.end() - 5, sent.end());
    EXPECT_EQ(slotHundred, (Commands{"01A00", "13", "15", "17A01", "17A02"}));
    // 1 + 100 loads + 2 per disc + every track.
    EXPECT_EQ(sent.size(), 1u + 100u + 6u + 12u + 3u + 2u);
}

TEST_F(ScanTest, ReadersOnOtherThreadsSeeTheRowsSoFar) {
    SimMagazine magazine;
    magazine[1] = Disc("ZUB0000001", {60, 70});
    magazine[4] = Disc("ZUB0000004", {100}, 3);
    magazine[100] = Disc("ZUB0000100", {61});
    SimLine line(magazine);
    Scan(line);

    ASSERT_EQ(progress.copies.size(), 99u);
    uint32_t generation = 0;
    for (int calls = 1; calls <= 99; ++calls) {
        const MagazineCopy& copy = progress.copies[calls - 1];
        EXPECT_TRUE(copy.scanning);
        EXPECT_EQ(copy.scanSlot, calls + 1) << "the slot after the one just read";
        EXPECT_EQ(copy.scanLastSlot, 100);
        EXPECT_EQ(copy.rows[0].present, true);
        EXPECT_STREQ(copy.rows[0].szDiscId, "ZUB0000001");
        EXPECT_EQ(copy.rows[3].present, calls >= 4) << calls;
        EXPECT_FALSE(copy.rows[99].present);
        // Each disc found changes the generation; empty slots leave it.
        if (calls == 4) {
            EXPECT_NE(copy.generation, generation);
            EXPECT_EQ(copy.rows[3].wFirstTrack, 3);
        } else if (calls > 1) {
            EXPECT_EQ(copy.generation, generation) << calls;
        }
        generation = copy.generation;
    }
    MagazineCopy after;
    ReadMagazineCopy(&after);
    EXPECT_FALSE(after.scanning);
    EXPECT_EQ(after.scanSlot, 100);
    EXPECT_TRUE(after.rows[99].present);
    EXPECT_NE(after.generation, generation);

    // A rescan empties the rows first: readers never see the old table as new.
    progress.copies.clear();
    line.Changer().RemoveDisc(4);
    Scan(line);
    EXPECT_FALSE(progress.copies[0].rows[3].present);
    EXPECT_NE(progress.copies[0].generation, after.generation);
    ReadMagazineCopy(&after);
    EXPECT_FALSE(after.rows[3].present);
    EXPECT_TRUE(after.rows[0].present);
}

// A catalogue saved as UTF-8 shows in the window's Windows-1252; one in
// Windows-1252 shows as it is.
TEST_F(ScanTest, CatalogueTextShowsAsWindows1252) {
    WriteCatalogue("Bj\xC3\xB6rk\tPost \xE2\x82\xAC \xE2\x9C\x93\r\nCaf\xE9\tNoir\r\n");
    SimMagazine magazine;
    magazine[1] = Disc("ZUB0000001", {60});
    magazine[2] = Disc("ZUB0000002", {60});
    SimLine line(magazine);
    Scan(line);
    EXPECT_EQ(discs.Cell(0, 4), "Bj\xF6rk");
    EXPECT_EQ(discs.Cell(0, 5), "Post \x80 ?");
    EXPECT_EQ(discs.Cell(1, 4), "Caf\xE9");
    EXPECT_EQ(discs.Cell(1, 5), "Noir");
}

TEST_F(ScanTest, LongCatalogueFieldIsCut) {
    WriteCatalogue(std::string(150, 'a') + "\t" + std::string(120, 't') + "\r\n");
    SimMagazine magazine;
    magazine[1] = Disc("ZUB0000001", {60});
    SimLine line(magazine);
    Scan(line);
    EXPECT_EQ(discs.Cell(0, 4), std::string(99, 'a'));
}

TEST_F(ScanTest, RescanAfterDiscRemoved) {
    SimMagazine magazine;
    magazine[5] = Disc("ZUB0000005", {60, 70});
    magazine[6] = Disc("ZUB0000006", {80});
    SimLine line(magazine);
    Scan(line);
    ASSERT_TRUE(g_slots[4].pTracks);
    EXPECT_EQ(discs.Cell(4, 1), "ZUB0000005");
    EXPECT_STREQ(g_slots[4].szDiscId, "ZUB0000005");  // kept for the remote magazine reply

    line.Changer().RemoveDisc(5);
    Scan(line);
    EXPECT_EQ(discs.RowCount(), 100);
    EXPECT_FALSE(g_slots[4].wFlags & SLOT_PRESENT);
    EXPECT_FALSE(g_slots[4].pTracks);
    EXPECT_STREQ(g_slots[4].szDiscId, "");
    EXPECT_EQ(discs.Row(4), (std::vector<std::string>{"5", "no disc", "", "", "", ""}));
    EXPECT_EQ(discs.Cell(5, 1), "ZUB0000006");
    ASSERT_TRUE(g_slots[5].pTracks);
    EXPECT_EQ(Time(g_slots[5].pTracks[0].timeLength), "1:20");
}

TEST_F(ScanTest, HoldsTheSerialLockThroughout) {
    // Every time the disc list is repainted, another thread must find the
    // serial lock taken.
    class ProbeList : public FakeList {
    public:
        void RepaintNow() override {
            FakeList::RepaintNow();
            std::thread probe([this] {
                std::unique_lock<std::recursive_mutex> lock(g_hComMutex, std::try_to_lock);
                if (lock.owns_lock()) {
                    ++freeAtRepaint;
                }
            });
            probe.join();
        }
        int freeAtRepaint = 0;
    };
    ProbeList probed;
    SimMagazine magazine;
    magazine[2] = Disc("ZUB0000002", {60});
    SimLine line(magazine);
    g_hCom = &line;
    ScanMagazine(probed, tracks, progress);
    EXPECT_EQ(probed.repaints, 100);
    EXPECT_EQ(probed.freeAtRepaint, 0);
}

// A simulated changer whose loads of some slots, and perhaps its unload,
// get no answer at all, as if the line went quiet for them.
class SilentSlotsLine : public SimLine {
public:
    SilentSlotsLine(SimMagazine magazine, std::set<int> silentSlots, bool silentUnload)
        : SimLine(std::move(magazine)),
          silentSlots_(std::move(silentSlots)),
          silentUnload_(silentUnload) {}

protected:
    std::string Answer(const unsigned char* bytes, int count) override {
        std::string frame(reinterpret_cast<const char*>(bytes), count);
        std::string command = SentCommands(frame).at(0);
        int slot = command.compare(0, 3, "01A") == 0 ? std::stoi(command.substr(3)) : -1;
        bool silentLoad = silentSlots_.count(slot == 0 ? 100 : slot) != 0;
        if (silentLoad || (silentUnload_ && command == "03")) {
            return "";
        }
        return SimLine::Answer(bytes, count);
    }

private:
    std::set<int> silentSlots_;
    bool silentUnload_;
};

TEST_F(ScanTest, TwoSilentSlotsInARowStopTheScan) {
    struct Case {
        const char* what;
        std::set<int> silentSlots;
        bool silentUnload;
        ScanEnd end;
        int lastSlot;
    };
    const Case cases[] = {
        {"one silent slot", {3}, false, ScanCompleted, 100},
        {"silent slots apart", {3, 5, 8, 99}, true, ScanCompleted, 100},
        {"a silent slot beside a loaded one", {1, 3}, false, ScanCompleted, 100},
        {"two in a row", {3, 5, 6, 7}, false, ScanChangerSilent, 6},
        {"the last two", {99, 100}, false, ScanChangerSilent, 100},
    };
    for (const Case& c : cases) {
        ResetChangerState();
        // A disc in slot 2 and one in slot 9 from an earlier scan.
        SimMagazine magazine;
        magazine[2] = Disc("ZUB0000002", {60, 70});
        FillSlot(9, 1, 2);
        g_slots[8].pTracks.reset(new TrackEntry[2]);
        SilentSlotsLine line(magazine, c.silentSlots, c.silentUnload);
        progress = CountingProgress();
        ScanResult result = Scan(line);

        EXPECT_EQ(result.end, c.end) << c.what;
        EXPECT_EQ(result.lastSlot, c.lastSlot) << c.what;
        Commands sent = SentCommands(line.Written());
        EXPECT_EQ(sent.back().substr(0, 3), "01A") << c.what;  // no command after the last load
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "13"), 1) << c.what;
        int loads = static_cast<int>(sent.size()) - 1 - 2 - 2;  // unload; 13, 15; two tracks
        EXPECT_EQ(loads, c.lastSlot) << c.what;
        // Every row is there; silent and unscanned slots hold no disc.
        ASSERT_EQ(discs.RowCount(), 100) << c.what;
        EXPECT_EQ(discs.Cell(1, 1), "ZUB0000002") << c.what;
        for (int row = 2; row < 100; ++row) {
            EXPECT_EQ(discs.Row(row), (std::vector<std::string>{std::to_string(row + 1), "no disc",
                                                                "", "", "", ""}))
                << c.what << ", row " << row;
            EXPECT_EQ(g_slots[row].wFlags, 0) << c.what << ", row " << row;
            EXPECT_FALSE(g_slots[row].pTracks) << c.what << ", row " << row;
        }
    }
}

TEST_F(ScanTest, StoppedByTheCallerAfterASlot) {
    SimMagazine magazine;
    magazine[3] = Disc("ZUB0000003", {60});
    magazine[4] = Disc("ZUB0000004", {60, 60});
    SimLine line(magazine);
    FillSlot(4, 1, 2);  // from an earlier scan
    g_slots[3].pTracks.reset(new TrackEntry[2]);
    progress.stopAfter = 3;
    ScanResult result = Scan(line);

    EXPECT_EQ(result.end, ScanStoppedByCaller);
    EXPECT_EQ(result.lastSlot, 3);
    EXPECT_EQ(progress.calls, 3);
    EXPECT_EQ(SentCommands(line.Written()),
              (Commands{"03", "01A01", "01A02", "01A03", "13", "15", "17A01"}));
    ASSERT_EQ(discs.RowCount(), 100);
    EXPECT_EQ(discs.Cell(2, 1), "ZUB0000003");
    EXPECT_EQ(discs.Cell(3, 1), "no disc");
    EXPECT_EQ(g_slots[3].wFlags, 0);
    EXPECT_FALSE(g_slots[3].pTracks);
    EXPECT_EQ(tracks.RowCount(), 1);  // still slot 3's
    EXPECT_TRUE(discs.redraw);
    MagazineCopy copy;
    ReadMagazineCopy(&copy);
    EXPECT_FALSE(copy.scanning);
    EXPECT_EQ(copy.scanSlot, 3);
    EXPECT_TRUE(copy.rows[2].present);
    EXPECT_FALSE(copy.rows[3].present);  // the slot not reached holds no disc
}

// Loads of a range scan and what stands outside it afterwards: a disc
// swapped (slot 4), one taken out (slot 3) and one put in (slot 5) between
// a full scan and the rescan of first..last.
TEST_F(ScanTest, RangeRescanTouchesOnlyItsSlots) {
    struct Case {
        int first;
        int last;
    };
    const Case cases[] = {{3, 5}, {4, 4}, {1, 100}, {1, 3}, {5, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
        ResetChangerState();
        discs.DeleteAllRows();
        SimMagazine before;
        before[2] = Disc("ZUB0000002", {60});
        before[3] = Disc("ZUB0000003", {60});
        before[4] = Disc("ZUB0000004", {60});
        before[6] = Disc("ZUB0000006", {60});
        SimLine first(before);
        Scan(first);
        MagazineCopy old;
        ReadMagazineCopy(&old);

        SimMagazine after = before;
        after.erase(3);
        after[4] = Disc("ZUB0000044", {60, 60});
        after[5] = Disc("ZUB0000005", {60});
        after[6] = Disc("ZUB0000066", {60});  // outside most ranges: stays unread
        SimLine line(after);
        g_hCom = &line;
        ScanResult result = ScanMagazine(discs, tracks, progress, c.first, c.last);
        EXPECT_EQ(result.end, ScanCompleted);
        EXPECT_EQ(result.lastSlot, c.last);

        Commands loads;
        for (const std::string& sent : SentCommands(line.Written())) {
            if (sent.compare(0, 2, "01") == 0) {
                loads.push_back(sent);
            }
        }
        Commands expected;
        for (int slot = c.first; slot <= c.last; ++slot) {
            char load[8];
            std::snprintf(load, sizeof load, "01A%02d", slot % 100);
            expected.push_back(load);
        }
        EXPECT_EQ(loads, expected);
        EXPECT_EQ(SentCommands(line.Written()).front(), "03");

        // Inside the range each row and slot is what the changer holds now;
        // outside it, what the first scan read.
        MagazineCopy copy;
        ReadMagazineCopy(&copy);
        EXPECT_FALSE(copy.scanning);
        EXPECT_NE(copy.generation, old.generation);
        ASSERT_EQ(discs.RowCount(), 100);
        for (int slot = 1; slot <= 100; ++slot) {
            bool inRange = slot >= c.first && slot <= c.last;
            const SimMagazine& holds = inRange ? after : before;
            auto disc = holds.find(slot);
            std::string id = disc == holds.end() ? "no disc" : disc->second.id;
            EXPECT_EQ(discs.Cell(slot - 1, 0), std::to_string(slot)) << slot;
            EXPECT_EQ(discs.Cell(slot - 1, 1), id) << slot;
            EXPECT_EQ((g_slots[slot - 1].wFlags & SLOT_PRESENT) != 0, disc != holds.end()) << slot;
            EXPECT_EQ(copy.rows[slot - 1].present, disc != holds.end()) << slot;
            if (disc == holds.end()) {
                EXPECT_EQ(discs.Cell(slot - 1, 2), "") << slot;
            }
        }
    }
}

// A range with no rows standing (no scan yet) fills the other rows as empty.
TEST_F(ScanTest, RangeRescanOfAnEmptyList) {
    SimMagazine magazine;
    magazine[7] = Disc("ZUB0000007", {60});
    SimLine line(magazine);
    g_hCom = &line;
    ScanMagazine(discs, tracks, progress, 7, 8);
    EXPECT_EQ(SentCommands(line.Written()),
              (Commands{"03", "01A07", "13", "15", "17A01", "01A08"}));
    ASSERT_EQ(discs.RowCount(), 100);
    EXPECT_EQ(discs.Row(6)[1], "ZUB0000007");
    EXPECT_EQ(discs.Row(0), (std::vector<std::string>{"1", "no disc", "", "", "", ""}));
    EXPECT_EQ(discs.Row(99), (std::vector<std::string>{"100", "no disc", "", "", "", ""}));
}

// A range outside 1..100 or reversed sends nothing and changes nothing.
TEST_F(ScanTest, ImpossibleRangeIsRefusedWithoutACommand) {
    const std::pair<int, int> ranges[] = {{0, 5},     {5, 4},   {1, 101}, {-1, 3},
                                          {101, 101}, {100, 1}, {0, 0},   {INT32_MIN, INT32_MAX}};
    SimMagazine magazine;
    magazine[1] = Disc("ZUB0000001", {60});
    for (const auto& range : ranges) {
        SimLine line(magazine);
        g_hCom = &line;
        MagazineCopy before;
        ReadMagazineCopy(&before);
        ScanResult result = ScanMagazine(discs, tracks, progress, range.first, range.second);
        EXPECT_EQ(result.end, ScanRefused) << range.first << ".." << range.second;
        EXPECT_EQ(line.Written(), "");
        EXPECT_EQ(discs.RowCount(), 0);
        MagazineCopy copy;
        ReadMagazineCopy(&copy);
        EXPECT_EQ(copy.generation, before.generation);
        EXPECT_FALSE(copy.scanning);
    }
}

// Scripted replies: slot 1 answers with the given identifier, TOC and track
// replies (payload from byte 7); every other slot is empty.
class ScriptedScanTest : public ScanTest {
protected:
    void ScriptSlotOne(const std::string& idPayload, const std::string& tocPayload,
                       const std::vector<std::string>& trackPayloads = {}) {
        line.Reply(BuildSimReply(CMD_UNLOAD, 0, ""));
        line.Reply(BuildSimReply(CMD_LOAD, 0, ""));
        line.Reply(BuildSimReply(CMD_DISC_ID, 0, idPayload));
        line.Reply(BuildSimReply(CMD_TOC, 0, tocPayload));
        for (const std::string& payload : trackPayloads) {
            line.Reply(BuildSimReply(CMD_TRACK_INFO, 0, payload));
        }
        for (int slot = 2; slot <= 100; ++slot) {
            line.Reply(BuildSimReply(CMD_LOAD, 1, ""));
        }
    }

    // Scans with slot 1 answering id and toc, then expects it present
    // without tracks.
    void ScanExpectingNoTracks(const char* id, const char* toc) {
        ScriptSlotOne(id, toc);
        Scan(line);
        ExpectPresentWithoutTracks();
    }

    // Slot 1 is present with no tracks and no track was asked for.
    void ExpectPresentWithoutTracks() {
        EXPECT_EQ(g_slots[0].wFlags, SLOT_PRESENT);
        EXPECT_EQ(g_slots[0].wTrackCount, 0);
        EXPECT_FALSE(g_slots[0].pTracks);
        Commands sent = SentCommands(line.Written());
        ASSERT_EQ(sent.size(), 103u);
        EXPECT_EQ(sent[3], "15");
        EXPECT_EQ(sent[4], "01A02");
        EXPECT_EQ(tracks.RowCount(), 0);
        ShowTrackList(tracks, 0);
        EXPECT_EQ(tracks.RowCount(), 0);
    }

    ScriptedLine line;
};

TEST_F(ScriptedScanTest, TocWithNonDigitTrackFields) {
    ScanExpectingNoTracks("00ZUB0000001", "00x1120405");
    EXPECT_EQ(discs.Cell(0, 1), "ZUB0000001");
    EXPECT_EQ(discs.Cell(0, 3), "4:05");
}

TEST_F(ScriptedScanTest, TocWithLastBelowFirst) {
    ScanExpectingNoTracks("00ZUB0000001", "0005030405");
    EXPECT_EQ(discs.Cell(0, 2), "5-3");
}

TEST_F(ScriptedScanTest, TocWithOneHundredTracks) {
    ScanExpectingNoTracks("00ZUB0000001", "0000990405");
}

TEST_F(ScriptedScanTest, ShortRepliesReadAsZero) {
    // The identifier stops where the reply does; a TOC cut after the first
    // track has no tracks and time 0:00.
    ScanExpectingNoTracks("00ZUB1", "0001");
    EXPECT_EQ(discs.Cell(0, 1), "ZUB1");
    EXPECT_EQ(discs.Cell(0, 3), "0:00");
}

TEST_F(ScriptedScanTest, ShortTrackReplyReadsAsZero) {
    ScriptSlotOne("00ZUB0000001", "0001020405", {"01035", ""});
    Scan(line);
    ASSERT_EQ(g_slots[0].wTrackCount, 2);
    ASSERT_TRUE(g_slots[0].pTracks);
    EXPECT_EQ(Time(g_slots[0].pTracks[0].timeStart), "3:50");
    EXPECT_EQ(Time(g_slots[0].pTracks[0].timeLength), "252:10");  // 0:00 - 3:50 wraps
    EXPECT_EQ(Time(g_slots[0].pTracks[1].timeStart), "0:00");
    EXPECT_EQ(Time(g_slots[0].pTracks[1].timeLength), "0:00");
}

TEST_F(ScriptedScanTest, LoadWithoutResultIsAnEmptySlot) {
    line.Reply(BuildSimReply(CMD_UNLOAD, 0, ""));
    line.Reply(
        "\x02"
        "03\x03");  // ends before the result
    for (int slot = 2; slot <= 100; ++slot) {
        line.Reply(BuildSimReply(CMD_LOAD, 1, ""));
    }
    EXPECT_EQ(Scan(line).end, ScanCompleted);  // a reply without result still answers
    EXPECT_FALSE(g_slots[0].wFlags & SLOT_PRESENT);
    EXPECT_EQ(discs.Cell(0, 1), "no disc");
    EXPECT_EQ(SentCommands(line.Written()).size(), 101u);
}

TEST(TrackList, RowsOutsideTheTableOrEmptySlots) {
    ResetChangerState();
    FillSlot(3, 1, 2);
    g_slots[2].pTracks.reset(new TrackEntry[2]);
    FakeList tracks;
    ShowTrackList(tracks, 2);
    EXPECT_EQ(tracks.RowCount(), 2);
    EXPECT_EQ(tracks.Row(1), (std::vector<std::string>{"2", "0:00", "0:00", "", "", ""}));

    for (int row : {-1, 100, 250, 0}) {
        ShowTrackList(tracks, 2);
        ShowTrackList(tracks, row);
        EXPECT_EQ(tracks.RowCount(), 0) << "row " << row;
    }
    EXPECT_EQ(tracks.repaints, 9);
    ResetChangerState();
}

TEST(SelectedRow, LowestSelectedOrNone) {
    FakeList list;
    EXPECT_EQ(GetSelectedRow(list), -1);
    for (int row = 0; row < 5; ++row) {
        list.InsertRow(row, "r");
    }
    EXPECT_EQ(GetSelectedRow(list), -1);
    list.Select(3);
    EXPECT_EQ(GetSelectedRow(list), 3);
    list.Select(1);
    EXPECT_EQ(GetSelectedRow(list), 1);
    list.ClearSelection();
    list.Select(9);  // beyond the rows
    EXPECT_EQ(GetSelectedRow(list), -1);
}

}  // namespace
