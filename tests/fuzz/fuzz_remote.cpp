// Fuzz target: one remote request against arbitrary status values, play
// mode and playlist: reply length and contents, mode, what reaches the
// window and the changer.
//
// Input: mode byte (modulo 6), disc byte and track byte (signed), flags
// byte (bit 0 playlist built, bit 1 the window exists, bits 2-7 playlist
// position), then the 80-byte request buffer (zeros where the input ends).
#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "protocol/remote_commands.h"
#include "remote/remote_request.h"
#include "resources/resource_ids.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/reset_state.h"
#include "tests/support/scripted_line.h"

namespace {

struct SlotSetup {
    int slot, first, count;
};
const SlotSetup kSlots[] = {{1, 1, 3}, {7, 2, 12}, {100, 1, 2}};

int windowToken;

// A catalogue with plain, quoted, over-long and tab-less lines.
std::string TestCatalogue() {
    std::string text;
    for (int line = 1; line <= 100; ++line) {
        if (line % 4 == 0) {
            text += std::string(60 + line, 'a' + line % 26) + "\t" + std::string(70, 'T');
        } else if (line % 4 == 1) {
            text += "\"Artist " + std::to_string(line) + "\"\t\"Title\"";
        } else if (line % 4 == 2) {
            text += "no tab on line " + std::to_string(line);
        } else {
            text += "\tonly a title";
        }
        text += "\r\n";
    }
    return text;
}

bool IsSentToPresentSlot(const std::string& command) {
    if (command.compare(0, 2, "01") != 0) {
        return true;
    }
    for (const SlotSetup& setup : kSlots) {
        if (command == SlotCommand(CMD_LOAD, setup.slot)) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string catalogue = TestCatalogue();
    PrepareScratchDirectory(&catalogue);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InScratchDirectory scratch;
    FuzzInput input(data, size);
    ResetForInput();
    for (const SlotSetup& setup : kSlots) {
        FillSlot(setup.slot, setup.first, setup.count);
    }
    const int modeBefore = input.Byte() % 6;
    const int disc = static_cast<int8_t>(input.Byte());
    const int track = static_cast<int8_t>(input.Byte());
    const uint8_t flags = input.Byte();
    if (flags & 1) {
        BuildPlaylist();
        g_nPlaylistPos = flags >> 2;  // 0..63, past the 17 entries too
    }
    g_hWnd = (flags & 2) ? &windowToken : nullptr;
    g_nMode = modeBefore;
    g_nDisc = disc;
    g_nTrack = track;

    // The request buffer and the reply, each of exactly its size.
    const std::string request = input.Take(kRemoteRequestSize);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kRemoteRequestSize]());
    std::memcpy(buffer.get(), request.data(), request.size());
    std::unique_ptr<unsigned char[]> reply(new unsigned char[kRemoteMaxReplySize]);
    std::memset(reply.get(), 0xA5, kRemoteMaxReplySize);

    ScriptedLine line;
    g_hCom = &line;
    const int length = HandleRemoteRequest(buffer.get(), reply.get());
    g_hCom = nullptr;
    g_hWnd = nullptr;

    const int32_t command = ReadRemoteInt(buffer.get());
    FUZZ_CHECK(length == RemoteReplySize(command));
    if (command == REMOTE_SET_ARTIST || command == REMOTE_SET_TITLE) {
        // Every input starts from the same catalogue.
        std::ofstream("zub.txt", std::ios::binary | std::ios::trunc) << TestCatalogue();
    }
    FUZZ_CHECK(g_nDisc == disc && g_nTrack == track);
    for (int at = length; at < kRemoteMaxReplySize; ++at) {
        FUZZ_CHECK(reply[at] == 0xA5);  // nothing past the reply
    }
    if (length == kRemotePositionSize || length == kRemoteInfoSize) {
        FUZZ_CHECK(ReadRemoteInt(reply.get()) == disc && ReadRemoteInt(reply.get() + 4) == track);
    }
    if (length == kRemoteInfoSize) {
        const unsigned char* artist = reply.get() + kRemoteArtistOffset;
        const unsigned char* title = reply.get() + kRemoteTitleOffset;
        // A catalogue text or the no-catalogue text for a slot; nothing
        // for no slot.
        FUZZ_CHECK((artist[0] != 0) == (disc >= 1 && disc <= kSlotCount));
        FUZZ_CHECK(artist[0] != 0 || title[0] == 0);
        FUZZ_CHECK(artist[kRemoteTextSize - 1] == 0 && title[kRemoteTextSize - 1] == 0);
        for (int at = kRemoteTitleOffset + kRemoteTextSize; at < kRemoteInfoSize; ++at) {
            FUZZ_CHECK(reply[at] == 0);
        }
        // After each text's terminator only zeros.
        for (const unsigned char* field : {artist, title}) {
            const unsigned char* end = std::find(field, field + kRemoteTextSize, 0);
            FUZZ_CHECK(
                std::all_of(end, field + kRemoteTextSize, [](unsigned char b) { return b == 0; }));
            FUZZ_CHECK(std::find(field, end, '\n') == end && std::find(field, end, '"') == end);
        }
    }

    // The changer hears a whole play unit for a present slot, or nothing.
    std::vector<std::string> sent = CheckedCommands(line.Written());
    FUZZ_CHECK(sent.empty() || sent.size() == 4);
    for (const std::string& one : sent) {
        FUZZ_CHECK(IsSentToPresentSlot(one));
    }
    // A disc and track request plays exactly what it names, taken whole.
    if (command == REMOTE_PLAY_TRACK && !sent.empty()) {
        char load[8], track[8];
        FormatSlotArgument(ReadRemoteInt(buffer.get() + kRemoteDiscOffset), load);
        FormatTrackArgument(ReadRemoteInt(buffer.get() + kRemoteTrackOffset), track);
        FUZZ_CHECK(sent[0] == std::string("01") + load && sent[1] == std::string("04") + track);
    }

    // Whole-disc mode only for a disc that began to play.
    const int mode = g_nMode.load();
    FUZZ_CHECK(mode >= ModePlay && mode <= ModeWholeDisc);
    FUZZ_CHECK(mode == (command == REMOTE_PLAY_DISC && !sent.empty() ? ModeWholeDisc
                        : command == REMOTE_SHUFFLE                  ? ModeShuffle
                                                                     : modeBefore));

    // Pause, play, stop and rescan reach the window only, and only when it
    // exists.
    std::vector<int> buttons = RecordedButtonCommands();
    std::vector<int> expectedButtons;
    if (flags & 2) {
        if (command == REMOTE_PAUSE) {
            expectedButtons = {IDC_PAUSE};
        } else if (command == REMOTE_PLAY) {
            expectedButtons = {IDC_PLAY};
        } else if (command == REMOTE_STOP) {
            expectedButtons = {IDC_STOP};
        } else if (command == REMOTE_SCAN) {
            // A rescan of a possible range goes to the window as its pair.
            const int32_t first = ReadRemoteInt(buffer.get() + kRemoteDiscOffset);
            const int32_t last = ReadRemoteInt(buffer.get() + kRemoteTrackOffset);
            if (first >= 1 && last <= kSlotCount && first <= last) {
                expectedButtons = {CommandWordWithPair(IDC_RESCAN, first, last)};
            }
        }
    }
    FUZZ_CHECK(buttons == expectedButtons);

    FUZZ_CHECK(RecordedErrorBoxes().empty());
    return 0;
}
