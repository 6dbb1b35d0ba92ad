// Fuzz target: one status poll over arbitrary reply bytes, in every play
// mode, with a built playlist, checked against the poll's transition rules.
//
// Input: mode byte (taken modulo 6), playlist byte (0: none built, else the
// position + 1), then the reply to the status command.
#include <cstring>
#include <string>
#include <vector>

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/reset_state.h"
#include "tests/support/scripted_line.h"

namespace {

struct SlotSetup {
    int slot, first, count;
};
const SlotSetup kSlots[] = {{1, 1, 3}, {7, 2, 12}, {100, 1, 2}};

bool IsDigit(char byte) {
    return byte >= '0' && byte <= '9';
}

bool EndsShuffledTrack(int row) {
    return row == StatusStopNoToc || row == StatusStopError || row == StatusStopEndOfDisc ||
           row == StatusPauseAutopause || row == StatusPauseEndOfDisc;
}

// The commands PlayNextEntry sends from the playlist as it stood.
std::vector<std::string> NextEntryCommands(bool built, int position,
                                           const std::vector<PlaylistEntry>& playlist) {
    if (!built || position < 0 || position >= static_cast<int>(playlist.size())) {
        return {};
    }
    const PlaylistEntry& entry = playlist[position];
    return {SlotCommand(CMD_LOAD, entry.wDisc), TrackCommand(CMD_TRACK, entry.wTrack), "10", "07"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    ResetForInput();
    for (const SlotSetup& setup : kSlots) {
        FillSlot(setup.slot, setup.first, setup.count);
    }
    const int modeBefore = input.Byte() % 6;
    const int playlistByte = input.Byte();
    const std::string reply = input.Rest();

    if (playlistByte != 0) {
        BuildPlaylist();
        g_nPlaylistPos = (playlistByte - 1) % 20;  // past the 17 entries too
    }
    const bool built = g_bPlaylistBuilt;
    const int positionBefore = g_nPlaylistPos;
    const std::vector<PlaylistEntry> playlistBefore = g_hPlaylist;

    // Values a reply that did not arrive whole must leave alone.
    g_nDisc = 42;
    g_nTrack = 4;
    g_nIndex = 3;
    g_bAutopause = 1;
    g_nStatus = 7;
    g_nMode = modeBefore;

    ScriptedLine line;
    line.Reply(reply);
    g_hCom = &line;
    PollStatusOnce();
    g_hCom = nullptr;

    std::vector<std::string> sent = CheckedCommands(line.Written());
    FUZZ_CHECK(!sent.empty() && sent[0] == "16");
    sent.erase(sent.begin());
    const int mode = g_nMode.load();
    FUZZ_CHECK(mode >= ModePlay && mode <= ModeWholeDisc);
    FUZZ_CHECK(g_nStatus >= 0 && g_nStatus < kStatusCodeCount);

    const std::string stored = StoredReply(reply);
    const bool whole =
        !stored.empty() && stored.back() == static_cast<char>(ETX) && stored.size() - 1 >= 27;
    if (!whole) {
        FUZZ_CHECK(g_nStatus == 0);
        FUZZ_CHECK(g_nDisc == 42 && g_nTrack == 4 && g_nIndex == 3 && g_bAutopause == 1);
        FUZZ_CHECK(mode == modeBefore);
        FUZZ_CHECK(sent.empty());
        FUZZ_CHECK(g_nPlaylistPos == positionBefore);
        return 0;
    }

    // The code row: the first row whose code matches, else 0.
    int expectedRow = 0;
    for (int row = kStatusCodeCount - 1; row >= 0; --row) {
        if (std::memcmp(g_statusCodes[row].code, stored.data() + 7, 2) == 0) {
            expectedRow = row;
        }
    }
    FUZZ_CHECK(g_nStatus == expectedRow);
    const int row = g_nStatus;
    FUZZ_CHECK(g_bAutopause == (stored[9] == 'S' ? 1 : 0));
    if (IsDigit(stored[11]) && IsDigit(stored[12])) {
        int disc = (stored[11] - '0') * 10 + (stored[12] - '0');
        FUZZ_CHECK(g_nDisc == (disc == 0 ? 100 : disc));
    }
    if (IsDigit(stored[13]) && IsDigit(stored[14])) {
        FUZZ_CHECK(g_nTrack == (stored[13] - '0') * 10 + (stored[14] - '0'));
    }

    // The poll's transitions.
    bool playsNext = false;
    std::vector<std::string> expected;
    int expectedMode = modeBefore;
    if (modeBefore == ModeShuffle) {
        playsNext = EndsShuffledTrack(row);
    } else if (modeBefore == ModeWholeDisc) {
        if (row != StatusPlay) {
            playsNext = true;
            expectedMode = ModeShuffle;
        } else {
            int disc = g_nDisc.load();
            // One past the last track of a present slot.
            bool pastLast =
                disc >= 1 && disc <= kSlotCount && (g_slots[disc - 1].wFlags & SLOT_PRESENT) &&
                g_nTrack == g_slots[disc - 1].wFirstTrack + g_slots[disc - 1].wTrackCount;
            if (pastLast) {
                expected = {"07"};
                expectedMode = ModeShuffle;
            }
        }
    }
    if (playsNext) {
        expected = NextEntryCommands(built, positionBefore, playlistBefore);
    }
    FUZZ_CHECK(sent == expected);
    FUZZ_CHECK(mode == expectedMode);
    if (playsNext && !expected.empty()) {
        int count = static_cast<int>(playlistBefore.size());
        FUZZ_CHECK(g_nPlaylistPos == (positionBefore + 1 == count ? 0 : positionBefore + 1));
    } else {
        FUZZ_CHECK(g_nPlaylistPos == positionBefore);
    }
    return 0;
}
