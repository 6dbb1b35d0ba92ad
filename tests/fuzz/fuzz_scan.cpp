// Fuzz target: a whole magazine scan whose replies come from the input,
// checked against the commands the replies call for and the table they
// must leave.
//
// Input: flags byte (bit 0: the table holds an earlier scan's slots), then
// the replies to the scan's commands in order, separated by LF. Commands
// past the last reply, and empty replies, meet a silent line; two silent
// loads in a row end the scan with the remaining slots empty.
#include <sanitizer/allocator_interface.h>

#include <string>
#include <vector>

#include "changer/magazine.h"
#include "changer/magazine_scan.h"
#include "link/changer_link.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_list.h"
#include "tests/support/reset_state.h"
#include "tests/support/scripted_line.h"

namespace {

// Reply k answers frame k; none left means a silent line.
struct ReplyQueue {
    std::vector<std::string> replies;
    size_t next = 0;
    std::string Take() { return next < replies.size() ? replies[next++] : std::string(); }
};

bool IsDigit(char byte) {
    return byte >= '0' && byte <= '9';
}

// Track range from a table-of-contents reply: first and count, or 0 and 0
// when it makes no sense.
void ExpectedRange(const std::string& reply, int& first, int& count) {
    std::string stored = StoredReply(reply);
    size_t length = !stored.empty() && stored.back() == static_cast<char>(ETX) ? stored.size() - 1
                                                                               : stored.size();
    first = 0;
    count = 0;
    for (size_t at = 9; at <= 12; ++at) {
        if (at >= length || !IsDigit(stored[at])) {
            return;
        }
    }
    int firstTrack = (stored[9] - '0') * 10 + (stored[10] - '0');
    int lastTrack = (stored[11] - '0') * 10 + (stored[12] - '0');
    int tracks = lastTrack - firstTrack + 1;
    if (tracks >= 1 && tracks <= 99) {
        first = firstTrack;
        count = tracks;
    }
}

// What an earlier scan may have left: slots with and without tracks.
void FillEarlierScan() {
    for (int slot = 1; slot <= kSlotCount; slot += 3) {
        FillSlot(slot, 1 + slot % 5, 1 + slot % 20);
        DiscSlot& entry = g_slots[slot - 1];
        entry.pTracks.reset(new TrackEntry[entry.wTrackCount]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareScratchDirectory(nullptr);  // no catalogue: the scan reads no file
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InScratchDirectory scratch;
    FuzzInput input(data, size);
    ResetForInput();
    if (input.Byte() & 1) {
        FillEarlierScan();
    }
    ReplyQueue queue;
    queue.replies = SplitAt(input.Rest(), '\n');

    ScriptedLine line;
    for (const std::string& reply : queue.replies) {
        line.Reply(reply);
    }
    FakeList discList;
    FakeList trackList;
    g_hCom = &line;
    ScanProgress goOn;
    ScanResult result = ScanMagazine(discList, trackList, goOn);
    g_hCom = nullptr;

    // The commands the replies call for, in order.
    std::vector<std::string> expected = {"03"};
    queue.Take();
    int silentSlots = 0;
    int lastScanned = 0;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const DiscSlot& entry = g_slots[slot - 1];
        if (silentSlots >= kSilentSlotsToStop) {
            FUZZ_CHECK(!(entry.wFlags & SLOT_PRESENT) && !entry.pTracks);
            FUZZ_CHECK(discList.Cell(slot - 1, 1) == "no disc");
            continue;
        }
        lastScanned = slot;
        expected.push_back(SlotCommand(CMD_LOAD, slot));
        std::string load = queue.Take();
        silentSlots = StoredReply(load).empty() ? silentSlots + 1 : 0;
        bool present = ExpectedResult(load) == 0;
        FUZZ_CHECK(((entry.wFlags & SLOT_PRESENT) != 0) == present);
        if (!present) {
            FUZZ_CHECK(!entry.pTracks);
            FUZZ_CHECK(discList.Cell(slot - 1, 1) == "no disc");
            continue;
        }
        expected.push_back("13");
        queue.Take();
        expected.push_back("15");
        int first, count;
        ExpectedRange(queue.Take(), first, count);
        FUZZ_CHECK(entry.wTrackCount <= 99);
        FUZZ_CHECK(entry.wFirstTrack == first && entry.wTrackCount == count);
        if (count == 0) {
            FUZZ_CHECK(!entry.pTracks);
        } else {
            FUZZ_CHECK(entry.pTracks);
            FUZZ_CHECK(__sanitizer_get_allocated_size(entry.pTracks.get()) ==
                       count * sizeof(TrackEntry));
        }
        for (int track = first; track < first + count; ++track) {
            expected.push_back(TrackCommand(CMD_TRACK_INFO, track));
            queue.Take();
        }
        FUZZ_CHECK(discList.Cell(slot - 1, 1).size() <= 10);
        FUZZ_CHECK(discList.Cell(slot - 1, 3).size() <= 7);
    }
    FUZZ_CHECK(CheckedCommands(line.Written()) == expected);
    FUZZ_CHECK(result.lastSlot == lastScanned);
    FUZZ_CHECK((result.end == ScanChangerSilent) == (silentSlots >= kSilentSlotsToStop));

    FUZZ_CHECK(discList.RowCount() == kSlotCount);
    for (int row = 0; row < kSlotCount; ++row) {
        FUZZ_CHECK(discList.Cell(row, 0) == std::to_string(row + 1));
    }
    // The track list shows the last slot scanned.
    const DiscSlot& last = g_slots[lastScanned - 1];
    int shown = (last.wFlags & SLOT_PRESENT) && last.pTracks ? last.wTrackCount : 0;
    FUZZ_CHECK(trackList.RowCount() == shown);
    return 0;
}
