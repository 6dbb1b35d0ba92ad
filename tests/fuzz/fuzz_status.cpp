// Fuzz target: the status reply parser and one status poll over arbitrary
// reply bytes, in every play mode, with or without a built playlist.
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

// The same fresh state for every run of one input: table, playlist, mode
// and status values that a reply not whole must leave alone.
void SetUpState(int mode, int playlistByte) {
    ResetForInput();
    for (const SlotSetup& setup : kSlots) {
        FillSlot(setup.slot, setup.first, setup.count);
    }
    if (playlistByte != 0) {
        BuildPlaylist();
        g_nPlaylistPos = (playlistByte - 1) % 20;  // past the 17 entries too
    }
    g_nDisc = 42;
    g_nTrack = 4;
    g_nIndex = 3;
    g_bAutopause = 1;
    g_nStatus = 7;
    g_nMode = mode;
}

// What the parser must give for the bytes an exchange stored.
void CheckParsed(const std::string& stored, const StatusReplyFields& status) {
    const bool whole =
        !stored.empty() && stored.back() == static_cast<char>(ETX) && stored.size() - 1 >= 27;
    FUZZ_CHECK(status.whole == whole);
    FUZZ_CHECK(status.row >= 0 && status.row < kStatusCodeCount);
    if (!whole) {
        FUZZ_CHECK(status.row == 0 && status.disc == 0 && status.track == 0);
        FUZZ_CHECK(status.index == 0 && status.autopause == 0);
        return;
    }
    // The row is the first whose code is in bytes 7-8; 0 when no other is.
    FUZZ_CHECK(status.row == 0 ||
               std::memcmp(g_statusCodes[status.row].code, stored.data() + 7, 2) == 0);
    const int unmatchedBelow = status.row == 0 ? kStatusCodeCount : status.row;
    for (int row = 1; row < unmatchedBelow; ++row) {
        FUZZ_CHECK(std::memcmp(g_statusCodes[row].code, stored.data() + 7, 2) != 0);
    }
    FUZZ_CHECK(status.autopause == (stored[9] == 'S' ? 1 : 0));
    // Two digits give 1..100 ("00" is slot 100); anything else 0.
    if (IsDigit(stored[11]) && IsDigit(stored[12])) {
        FUZZ_CHECK(status.disc >= 1 && status.disc <= 100);
    } else {
        FUZZ_CHECK(status.disc == 0);
    }
    if (IsDigit(stored[13]) && IsDigit(stored[14])) {
        FUZZ_CHECK(status.track == (stored[13] - '0') * 10 + (stored[14] - '0'));
    } else {
        FUZZ_CHECK(status.track == 0);
    }
    FUZZ_CHECK(status.index >= 0 && status.index <= 99);
}

struct Outcome {
    std::vector<std::string> sent;  // after the status request
    int mode;
    int position;
};

Outcome Observe(ScriptedLine& line) {
    Outcome outcome;
    outcome.sent = CheckedCommands(line.Written());
    outcome.mode = g_nMode.load();
    outcome.position = g_nPlaylistPos;
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int modeBefore = input.Byte() % 6;
    const int playlistByte = input.Byte();
    const std::string reply = input.Rest();

    const std::string stored = StoredReply(reply);
    const StatusReplyFields status =
        ParseStatusReply(stored.data(), static_cast<int>(stored.size()));
    CheckParsed(stored, status);

    // The poll over the line.
    SetUpState(modeBefore, playlistByte);
    const bool built = g_bPlaylistBuilt;
    const int positionBefore = g_nPlaylistPos;
    const std::vector<PlaylistEntry> playlistBefore = g_hPlaylist;
    ScriptedLine line;
    line.Reply(reply);
    g_hCom = &line;
    PollStatusOnce();
    g_hCom = nullptr;
    Outcome polled = Observe(line);
    FUZZ_CHECK(!polled.sent.empty() && polled.sent[0] == "16");
    polled.sent.erase(polled.sent.begin());

    // It stored what the parser read, or only the row 0 for a reply not whole.
    FUZZ_CHECK(g_nStatus == status.row);
    if (status.whole) {
        FUZZ_CHECK(g_nDisc == status.disc && g_nTrack == status.track);
        FUZZ_CHECK(g_nIndex == status.index && g_bAutopause == status.autopause);
    } else {
        FUZZ_CHECK(g_nDisc == 42 && g_nTrack == 4 && g_nIndex == 3 && g_bAutopause == 1);
    }

    // Its transitions are those of ApplyPollTransitions on the parsed reply.
    SetUpState(modeBefore, playlistByte);
    ScriptedLine direct;
    g_hCom = &direct;
    ApplyPollTransitions(status);
    g_hCom = nullptr;
    const Outcome applied = Observe(direct);
    FUZZ_CHECK(polled.sent == applied.sent);
    FUZZ_CHECK(polled.mode == applied.mode && polled.position == applied.position);

    // And those stay within the poll's rules: nothing without a whole reply
    // or outside the two automatic modes; the whole-disc mode only goes back
    // to the shuffle; what is sent is autopause alone or the play request of
    // the entry at the position, which then moves on.
    const bool automatic = modeBefore == ModeShuffle || modeBefore == ModeWholeDisc;
    if (!status.whole || !automatic) {
        FUZZ_CHECK(polled.sent.empty() && polled.mode == modeBefore);
        FUZZ_CHECK(polled.position == positionBefore);
        return 0;
    }
    FUZZ_CHECK(polled.mode == modeBefore ||
               (modeBefore == ModeWholeDisc && polled.mode == ModeShuffle));
    if (polled.sent == std::vector<std::string>{"07"}) {
        FUZZ_CHECK(modeBefore == ModeWholeDisc && status.row == StatusPlay);
        FUZZ_CHECK(polled.position == positionBefore);
    } else if (!polled.sent.empty()) {
        FUZZ_CHECK(built && positionBefore < static_cast<int>(playlistBefore.size()));
        const PlaylistEntry& entry = playlistBefore[positionBefore];
        const std::vector<std::string> unit = {SlotCommand(CMD_LOAD, entry.wDisc),
                                               TrackCommand(CMD_TRACK, entry.wTrack), "10", "07"};
        FUZZ_CHECK(polled.sent == unit);
        const int count = static_cast<int>(playlistBefore.size());
        FUZZ_CHECK(polled.position == (positionBefore + 1 == count ? 0 : positionBefore + 1));
    } else {
        FUZZ_CHECK(polled.position == positionBefore);
    }
    return 0;
}
