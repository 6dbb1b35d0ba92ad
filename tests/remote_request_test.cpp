// What each remote request does and answers, without sockets.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "changer/magazine.h"
#include "changer/magazine_copy.h"
#include "changer/playlist.h"
#include "changer/status_answer.h"
#include "changer/status_poll.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "protocol/remote_names.h"
#include "protocol/remote_records.h"
#include "remote/remote_request.h"
#include "resources/resource_ids.h"
#include "tests/support/fresh_changer_test.h"
#include "tests/support/remote_test_support.h"
#include "tests/support/reset_state.h"
#include "tools/changer-sim/sim_frame.h"

namespace {

std::string ReadFileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class RemoteRequest : public FreshChangerTest {
protected:
    SerialLine& CaseLine() override { return line_; }

    // Handles a request whose buffer starts as given; the rest is zero.
    int Handle(int32_t command, int32_t disc = 0, int32_t track = 0) {
        std::memset(buffer_, 0, sizeof buffer_);
        WriteRemoteInt(buffer_, command);
        WriteRemoteInt(buffer_ + 4, disc);
        WriteRemoteInt(buffer_ + 8, track);
        std::memset(reply_, 0xEE, sizeof reply_);
        return HandleRemoteRequest(buffer_, reply_);
    }

    std::vector<std::string> Sent() { return SentCommands(line_.Written()); }

    // Handles a text request as a client sends it: all 80 bytes.
    RemoteAnswerRecord HandleText(int32_t command, int32_t slot, int32_t track,
                                  const std::string& text) {
        EncodeRemoteTextRequest(command, slot, track, text, buffer_);
        std::memset(reply_, 0xEE, sizeof reply_);
        int length = HandleRemoteRequest(buffer_, reply_);
        EXPECT_EQ(length, kRemoteAnswerSize) << command;
        return DecodeRemoteAnswer(reply_);
    }

    ScriptedLine line_;
    unsigned char buffer_[kRemoteRequestSize];
    unsigned char reply_[kRemoteMaxReplySize];
};

using Commands = std::vector<std::string>;

TEST_F(RemoteRequest, PlayTrackSendsOneLockedUnitWithAutopause) {
    FillSlot(3, 1, 12);
    EXPECT_EQ(Handle(REMOTE_PLAY_TRACK, 3, 5), 0);
    EXPECT_EQ(Sent(), (Commands{"01A03", "04A05", "10", "07"}));
    EXPECT_EQ(g_nMode.load(), 0);  // mode unchanged
}

// Numbers outside 1..100 (disc) or 1..99 (track) name nothing, whatever
// their low 16 bits read (65543 and -65486 end in 7 and 50, 65539 in 3).
TEST_F(RemoteRequest, PlayTrackOutOfRangeDoesNothing) {
    FillSlot(3, 1, 12);
    FillSlot(7, 1, 12);
    FillSlot(50, 1, 12);
    const std::pair<int32_t, int32_t> requests[] = {
        {65543, 3}, {-65486, 3}, {7, 65539}, {0, 1},         {101, 1},
        {3, 0},     {3, 100},    {3, -1},    {INT32_MIN, 3}, {3, INT32_MAX}};
    g_nMode = ModeShuffle;
    for (const auto& request : requests) {
        EXPECT_EQ(Handle(REMOTE_PLAY_TRACK, request.first, request.second), 0);
        EXPECT_EQ(g_nMode.load(), ModeShuffle);
    }
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteRequest, PlayDiscFromFirstTrackWithoutAutopause) {
    FillSlot(100, 4, 6);
    g_nMode = ModeShuffle;
    Handle(REMOTE_PLAY_DISC, 100);
    EXPECT_EQ(Sent(), (Commands{"01A00", "04A04", "10", "08"}));
    EXPECT_EQ(g_nMode.load(), ModeWholeDisc);
}

// A disc out of range, or one that PlayDiscTrack rejects (an empty slot),
// starts nothing: no command and no whole-disc mode for the poll to leave.
// A disc the changer does not load (its load answered with a result other
// than 00) leaves the mode as it was too, after the load alone.
TEST_F(RemoteRequest, PlayDiscRejectedChangesNothing) {
    FillSlot(1, 1, 5);
    FillSlot(7, 1, 5);
    for (int32_t disc : {0, 101, -1, 0x10001, 65543, -65486, INT32_MAX, 2, 100}) {
        for (int mode : {ModeStop, ModeShuffle, ModeUnloaded}) {
            g_nMode = mode;
            Handle(REMOTE_PLAY_DISC, disc);
            EXPECT_EQ(g_nMode.load(), mode) << disc;
        }
    }
    EXPECT_EQ(line_.Written(), "");

    for (int mode : {ModeStop, ModeShuffle, ModeUnloaded}) {
        g_nMode = mode;
        line_.Reply(BuildSimReply(CMD_LOAD, 1, ""));
        Handle(REMOTE_PLAY_DISC, 7);
        EXPECT_EQ(g_nMode.load(), mode);
    }
    EXPECT_EQ(Sent(), (Commands{"01A07", "01A07", "01A07"}));
}

TEST_F(RemoteRequest, RestartReplaysCurrentDiscAndTrack) {
    FillSlot(9, 1, 10);
    g_nDisc = 9;
    g_nTrack = 4;
    g_nMode = ModePause;
    Handle(REMOTE_RESTART, 1, 1);  // arguments play no part
    EXPECT_EQ(Sent(), (Commands{"01A09", "04A04", "10", "07"}));
    EXPECT_EQ(g_nMode.load(), ModePause);
}

TEST_F(RemoteRequest, NextAndShufflePlayThePlaylist) {
    FillSlot(2, 1, 1);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        BuildPlaylist();
        g_nPlaylistPos = 0;
    }
    Handle(REMOTE_NEXT);
    EXPECT_EQ(Sent(), (Commands{"01A02", "04A01", "10", "07"}));
    EXPECT_EQ(g_nMode.load(), 0);

    g_nMode = ModeWholeDisc;
    Handle(REMOTE_SHUFFLE);
    EXPECT_EQ(g_nMode.load(), ModeShuffle);
    EXPECT_EQ(Sent().size(), 8u);
}

TEST_F(RemoteRequest, ShuffleWithoutPlaylistOnlySetsMode) {
    Handle(REMOTE_SHUFFLE);
    EXPECT_EQ(g_nMode.load(), ModeShuffle);
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteRequest, PausePlayStopAreForwardedToTheWindow) {
    int token;
    g_hWnd = &token;
    Handle(REMOTE_PAUSE);
    Handle(REMOTE_PLAY);
    Handle(REMOTE_STOP);
    EXPECT_EQ(RecordedButtonCommands(), (std::vector<int>{1006, 1005, 1007}));
    EXPECT_EQ(line_.Written(), "");
}

// A rescan goes to the window thread with its range in the command word;
// an impossible range goes nowhere and sends nothing.
TEST_F(RemoteRequest, ScanIsForwardedToTheWindowWithItsRange) {
    int token;
    g_hWnd = &token;
    const std::pair<int32_t, int32_t> good[] = {{1, 100}, {3, 5}, {7, 7}, {100, 100}};
    std::vector<int> expected;
    for (const auto& range : good) {
        EXPECT_EQ(Handle(REMOTE_SCAN, range.first, range.second), 0);
        expected.push_back(CommandWordWithPair(IDC_RESCAN, range.first, range.second));
        int first = 0;
        int last = 0;
        ASSERT_TRUE(
            ReadCommandWordPair(static_cast<unsigned>(expected.back()), IDC_RESCAN, &first, &last));
        EXPECT_EQ(first, range.first);
        EXPECT_EQ(last, range.second);
    }
    const std::pair<int32_t, int32_t> bad[] = {{0, 5},       {5, 4},       {1, 101},
                                               {-1, 3},      {101, 101},   {100, 1},
                                               {0x10003, 5}, {3, 0x10005}, {INT32_MIN, INT32_MAX}};
    for (const auto& range : bad) {
        EXPECT_EQ(Handle(REMOTE_SCAN, range.first, range.second), 0);
    }
    EXPECT_EQ(RecordedButtonCommands(), expected);
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteRequest, ScanBeforeTheWindowDoesNothing) {
    g_hWnd = nullptr;
    Handle(REMOTE_SCAN, 1, 100);
    EXPECT_TRUE(RecordedButtonCommands().empty());
    EXPECT_EQ(line_.Written(), "");
}

TEST_F(RemoteRequest, PositionRepliesDiscAndTrackLittleEndian) {
    EXPECT_EQ(Handle(REMOTE_POSITION), kRemotePositionSize);
    EXPECT_EQ(std::memcmp(reply_, "\0\0\0\0\0\0\0\0", 8), 0);  // before the first poll

    g_nDisc = 100;
    g_nTrack = 0x0102;
    EXPECT_EQ(Handle(REMOTE_POSITION), kRemotePositionSize);
    const unsigned char expected[8] = {100, 0, 0, 0, 2, 1, 0, 0};
    EXPECT_EQ(std::memcmp(reply_, expected, 8), 0);
}

TEST_F(RemoteRequest, InfoWithoutCatalogue) {
    ScratchWorkingDir dir;
    g_nDisc = 3;
    g_nTrack = 7;
    ASSERT_EQ(Handle(REMOTE_INFO), kRemoteInfoSize);
    EXPECT_EQ(ReadRemoteInt(reply_), 3);
    EXPECT_EQ(ReadRemoteInt(reply_ + 4), 7);
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 8), "couldn't open zub.txt");
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 58), "");
    // Nothing but the texts and zeros goes out.
    for (int i = 8 + 22; i < kRemoteInfoSize; ++i) {
        ASSERT_EQ(reply_[i], 0) << i;
    }
}

TEST_F(RemoteRequest, InfoReadsTheCurrentDiscsLine) {
    ScratchWorkingDir dir;
    dir.WriteFile("zub.txt",
                  "First\tOne\r\n\"Second\"\t\"Two\"\r\n"
                  "\tNo artist\r\n" +
                      std::string(60, 'a') + "\t" + std::string(60, 't') + "\r\n");
    g_nDisc = 2;
    Handle(REMOTE_INFO);
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 8), "Second");
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 58), "Two");

    // No disc (before the first status reply, or a disc field that named
    // no slot): both texts empty, the layout as always.
    for (int disc : {0, -1, 101}) {
        g_nDisc = disc;
        g_nTrack = 4;
        ASSERT_EQ(Handle(REMOTE_INFO), kRemoteInfoSize);
        EXPECT_EQ(ReadRemoteInt(reply_), disc);
        EXPECT_EQ(ReadRemoteInt(reply_ + 4), 4);
        for (int i = 8; i < kRemoteInfoSize; ++i) {
            ASSERT_EQ(reply_[i], 0) << disc << " byte " << i;
        }
    }

    g_nDisc = 3;  // an empty artist reads as a missing catalogue
    Handle(REMOTE_INFO);
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 8), "couldn't open zub.txt");
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + 58), "No artist");

    g_nDisc = 4;  // long fields are cut to 49 characters
    Handle(REMOTE_INFO);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply_ + 8)), std::string(49, 'a'));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply_ + 58)), std::string(49, 't'));
    for (int i = 108; i < kRemoteInfoSize; ++i) {
        ASSERT_EQ(reply_[i], 0) << i;
    }
}

// Fields longer than 49 bytes: a UTF-8 character that the cut would split
// goes whole; text that is not UTF-8 is cut at 49 bytes as before. An
// artist that fills most of the line still gives the title the line holds.
TEST_F(RemoteRequest, InfoCutsLongFieldsBetweenCharacters) {
    const std::string e = "\xC3\xA9";         // U+00E9, two bytes
    const std::string euro = "\xE2\x82\xAC";  // U+20AC, three bytes
    struct Case {
        std::string line;
        std::string artist;
        std::string title;
    };
    const Case cases[] = {
        {std::string(48, 'a') + e + "\tT", std::string(48, 'a'), "T"},
        {std::string(47, 'a') + e + "x\tT", std::string(47, 'a') + e, "T"},
        {"A\t" + std::string(47, 't') + euro + "z", "A", std::string(47, 't')},
        {"A\t" + std::string(46, 't') + euro + "z", "A", std::string(46, 't') + euro},
        // Windows-1252 bytes are no UTF-8: cut where the field ends.
        {std::string(48, 'a') + "\xE9\xE9\tT", std::string(48, 'a') + "\xE9", "T"},
        {std::string(100, 'a') + "\tTitle", std::string(49, 'a'), "Title"},
        {std::string(150, 'a') + "\tTitle", std::string(49, 'a'), "Title"},
        {std::string(196, 'a') + "\tTitle", std::string(49, 'a'), "Ti"},
        {std::string(198, 'a') + "\tTitle", std::string(49, 'a'), ""},
    };
    ScratchWorkingDir dir;
    FillSlot(1, 1, 3);
    g_nDisc = 1;
    for (const Case& c : cases) {
        dir.WriteFile("zub.txt", c.line + "\r\n");
        Handle(REMOTE_INFO);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(reply_ + 8)), c.artist) << c.line;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(reply_ + 58)), c.title) << c.line;
        Handle(REMOTE_MAGAZINE);
        RemoteSlotRecord slot = DecodeRemoteSlot(reply_);
        EXPECT_EQ(slot.artist, c.artist) << c.line;
        EXPECT_EQ(slot.title, c.title) << c.line;
    }
}

int64_t FixedClockMs() {
    return 10000;
}

TEST_F(RemoteRequest, StatusRecordHoldsThePanelsValuesAtFixedOffsets) {
    EXPECT_EQ(Handle(REMOTE_STATUS), kRemoteStatusSize);
    RemoteStatusRecord fresh = DecodeRemoteStatus(reply_);
    EXPECT_EQ(fresh.code, "  ");
    EXPECT_EQ(fresh.text, "(none)");
    EXPECT_EQ(fresh.answering, 0);
    EXPECT_EQ(fresh.sinceAnswerMs, -1);  // never answered
    EXPECT_EQ(fresh.nextDisc, 0);

    FillSlot(4, 1, 3);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        BuildPlaylist();
        g_nPlaylistPos = 2;
    }
    g_statusClock = FixedClockMs;
    g_nMode = ModeShuffle;
    g_nDisc = 4;
    g_nTrack = 2;
    g_nIndex = 1;
    g_timeTrack.Parse("0105");
    g_timeDisc.Parse("1230");
    g_bAutopause = 1;
    g_nStatus = 12;  // the longest text
    g_bStatusAnswered = 1;
    g_nLastAnswerMs = 9250;
    ASSERT_EQ(Handle(REMOTE_STATUS), kRemoteStatusSize);

    const unsigned char* r = reply_;
    EXPECT_EQ(ReadRemoteInt(r + 0), ModeShuffle);
    EXPECT_EQ(std::memcmp(r + 4, "PD\0\0", 4), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(r + 8), "pause due to autopause, end of disc");
    for (int i = 8 + 35; i < 48; ++i) {
        ASSERT_EQ(r[i], 0) << i;  // NUL-padded
    }
    EXPECT_EQ(ReadRemoteInt(r + 48), 4);
    EXPECT_EQ(ReadRemoteInt(r + 52), 2);
    EXPECT_EQ(ReadRemoteInt(r + 56), 1);
    EXPECT_EQ(ReadRemoteInt(r + 60), 65);
    EXPECT_EQ(ReadRemoteInt(r + 64), 750);
    EXPECT_EQ(ReadRemoteInt(r + 68), 1);
    EXPECT_EQ(ReadRemoteInt(r + 72), 2);
    EXPECT_EQ(ReadRemoteInt(r + 76), 3);
    EXPECT_EQ(ReadRemoteInt(r + 80), 4);
    EXPECT_EQ(ReadRemoteInt(r + 84), g_hPlaylist[2].wTrack);
    EXPECT_EQ(ReadRemoteInt(r + 88), 1);
    EXPECT_EQ(ReadRemoteInt(r + 92), 750);
    EXPECT_EQ(line_.Written(), "");

    // A used-up position names no next entry.
    g_nPlaylistPos = 3;
    Handle(REMOTE_STATUS);
    EXPECT_EQ(ReadRemoteInt(reply_ + 80), 0);
    EXPECT_EQ(ReadRemoteInt(reply_ + 84), 0);
}

// Holds the given locks on another thread until released, as a play
// request waiting for the line (or a scan) would.
class LocksHeldElsewhere {
public:
    LocksHeldElsewhere(bool playlist, bool serial) {
        thread_ = std::thread([this, playlist, serial] {
            std::unique_lock<std::recursive_mutex> playlistLock(g_hPlaylistMutex, std::defer_lock);
            std::unique_lock<std::recursive_mutex> comLock(g_hComMutex, std::defer_lock);
            if (playlist) {
                playlistLock.lock();
            }
            if (serial) {
                comLock.lock();
            }
            std::unique_lock<std::mutex> lock(mutex_);
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return release_; });
        });
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return held_; });
    }
    ~LocksHeldElsewhere() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            release_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }

private:
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool release_ = false;
};

TEST_F(RemoteRequest, StatusAndMagazineAnswerAtOnceWhileALineLockIsHeld) {
    FillSlot(4, 1, 3);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hPlaylistMutex);
        BuildPlaylist();
        g_nPlaylistPos = 1;
    }
    g_nDisc = 4;
    ASSERT_EQ(Handle(REMOTE_STATUS), kRemoteStatusSize);  // reads the entry
    const RemoteStatusRecord before = DecodeRemoteStatus(reply_);
    ASSERT_EQ(before.nextDisc, 4);

    struct Held {
        bool playlist;
        bool serial;
    };
    for (Held held : {Held{true, false}, Held{false, true}, Held{true, true}}) {
        SCOPED_TRACE(std::string("playlist ") + (held.playlist ? "held" : "free") + ", serial " +
                     (held.serial ? "held" : "free"));
        LocksHeldElsewhere locks(held.playlist, held.serial);
        // Would hang here (until the test's time-out) if a reply waited.
        ASSERT_EQ(Handle(REMOTE_STATUS), kRemoteStatusSize);
        RemoteStatusRecord status = DecodeRemoteStatus(reply_);
        EXPECT_EQ(status.disc, 4);
        EXPECT_EQ(status.playlistPos, 1);  // the entry read last
        EXPECT_EQ(status.playlistCount, 3);
        EXPECT_EQ(status.nextDisc, before.nextDisc);
        EXPECT_EQ(status.nextTrack, before.nextTrack);
        EXPECT_EQ(status.magazineGeneration, before.magazineGeneration);
        ASSERT_EQ(Handle(REMOTE_MAGAZINE), kRemoteMagazineSize);
        EXPECT_TRUE(DecodeRemoteSlot(reply_ + 3 * kRemoteSlotSize).present);
    }
}

TEST_F(RemoteRequest, StatusRecordCarriesTheScanProgress) {
    Handle(REMOTE_STATUS);
    RemoteStatusRecord idle = DecodeRemoteStatus(reply_);
    EXPECT_EQ(idle.scanning, 0);
    EXPECT_EQ(idle.scanSlot, 0);
    EXPECT_EQ(idle.scanLastSlot, 0);

    FillSlot(2, 1, 5);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        BeginMagazineCopy(1, kSlotCount);
        PublishMagazineSlot(1);
        PublishMagazineSlot(2);
    }
    Handle(REMOTE_STATUS);
    RemoteStatusRecord scanning = DecodeRemoteStatus(reply_);
    EXPECT_EQ(scanning.scanning, 1);
    EXPECT_EQ(scanning.scanSlot, 3);
    EXPECT_EQ(scanning.scanLastSlot, 100);
    EXPECT_NE(scanning.magazineGeneration, idle.magazineGeneration);
    Handle(REMOTE_MAGAZINE);
    EXPECT_TRUE(DecodeRemoteSlot(reply_ + kRemoteSlotSize).present);

    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        EndMagazineCopy(100);
    }
    Handle(REMOTE_STATUS);
    RemoteStatusRecord done = DecodeRemoteStatus(reply_);
    EXPECT_EQ(done.scanning, 0);
    EXPECT_EQ(done.scanSlot, 100);
    EXPECT_EQ(done.magazineGeneration, scanning.magazineGeneration);  // nothing changed since
}

TEST_F(RemoteRequest, MagazineRecordListsEverySlotWithItsCatalogueLine) {
    ScratchWorkingDir dir;
    dir.WriteFile("zub.txt", "One\tFirst\r\n\tNo artist\r\n" + std::string(60, 'a') + "\t" +
                                 std::string(60, 't') + "\r\n");
    FillSlot(1, 1, 12);
    FillSlot(2, 3, 4);
    FillSlot(3, 1, 1);
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        std::strcpy(g_slots[0].szDiscId, "0123456789");
        g_slots[0].timeDisc.Parse("4512");
        PublishWholeMagazine();
    }
    ASSERT_EQ(Handle(REMOTE_MAGAZINE), kRemoteMagazineSize);

    const unsigned char* first = reply_;
    EXPECT_EQ(ReadRemoteInt(first + 0), 1);
    EXPECT_EQ(std::memcmp(first + 4, "0123456789\0\0", 12), 0);
    EXPECT_EQ(ReadRemoteInt(first + 16), 1);
    EXPECT_EQ(ReadRemoteInt(first + 20), 12);
    EXPECT_EQ(ReadRemoteInt(first + 24), 45 * 60 + 12);
    EXPECT_STREQ(reinterpret_cast<const char*>(first + 28), "One");
    EXPECT_STREQ(reinterpret_cast<const char*>(first + 78), "First");

    // As the info reply gives them: an empty artist, fields cut to 49.
    RemoteSlotRecord second = DecodeRemoteSlot(reply_ + kRemoteSlotSize);
    EXPECT_EQ(second.artist, kRemoteNoCatalogue);
    EXPECT_EQ(second.title, "No artist");
    EXPECT_EQ(second.firstTrack, 3);
    RemoteSlotRecord third = DecodeRemoteSlot(reply_ + 2 * kRemoteSlotSize);
    EXPECT_EQ(third.artist, std::string(49, 'a'));
    EXPECT_EQ(third.title, std::string(49, 't'));

    // Empty slots are all zeros, slot 100 last.
    for (int i = 3 * kRemoteSlotSize; i < kRemoteMagazineSize; ++i) {
        ASSERT_EQ(reply_[i], 0) << i;
    }
    EXPECT_EQ(line_.Written(), "");
}

TEST(RemoteRecords, DecodeReadsWhatEncodeWrote) {
    RemoteStatusRecord status;
    status.mode = ModeWholeDisc;
    status.code = "PL";
    status.text = "play";
    status.disc = 100;
    status.track = -7;
    status.trackSeconds = 0x01020304;
    status.nextDisc = 9;
    status.sinceAnswerMs = -1;
    unsigned char bytes[kRemoteStatusSize];
    EncodeRemoteStatus(status, bytes);
    EXPECT_EQ(std::memcmp(bytes + kRemoteStatusTrackTimeOffset, "\x04\x03\x02\x01", 4), 0);
    RemoteStatusRecord back = DecodeRemoteStatus(bytes);
    EXPECT_EQ(back.mode, ModeWholeDisc);
    EXPECT_EQ(back.code, "PL");
    EXPECT_EQ(back.text, "play");
    EXPECT_EQ(back.disc, 100);
    EXPECT_EQ(back.track, -7);
    EXPECT_EQ(back.trackSeconds, 0x01020304);
    EXPECT_EQ(back.nextDisc, 9);
    EXPECT_EQ(back.sinceAnswerMs, -1);

    // The scan's fields at the end; a short record of an older program
    // leaves them 0.
    status.scanning = 1;
    status.scanSlot = 37;
    status.scanLastSlot = 100;
    status.magazineGeneration = -5;
    EncodeRemoteStatus(status, bytes);
    EXPECT_EQ(ReadRemoteInt(bytes + 96), 1);
    EXPECT_EQ(ReadRemoteInt(bytes + 100), 37);
    EXPECT_EQ(ReadRemoteInt(bytes + 104), 100);
    EXPECT_EQ(ReadRemoteInt(bytes + 108), -5);
    back = DecodeRemoteStatus(bytes);
    EXPECT_EQ(back.scanSlot, 37);
    EXPECT_EQ(back.magazineGeneration, -5);
    back = DecodeRemoteStatus(bytes, kRemoteStatusShortSize);
    EXPECT_EQ(back.disc, 100);
    EXPECT_EQ(back.scanning, 0);
    EXPECT_EQ(back.scanSlot, 0);
    EXPECT_EQ(back.magazineGeneration, 0);

    RemoteSlotRecord slot;
    slot.present = true;
    slot.id = "ABCDEFGHIJKLMN";  // longer than the field: cut to 10
    slot.artist = "Bj\xf6rk";    // bytes pass unchanged
    slot.title = std::string(80, 'x');
    unsigned char record[kRemoteSlotSize];
    EncodeRemoteSlot(slot, record);
    RemoteSlotRecord slotBack = DecodeRemoteSlot(record);
    EXPECT_TRUE(slotBack.present);
    EXPECT_EQ(slotBack.id, "ABCDEFGHIJ");
    EXPECT_EQ(slotBack.artist, "Bj\xf6rk");
    EXPECT_EQ(slotBack.title, std::string(49, 'x'));
}

TEST(RemoteRecords, TextFieldsWithoutTerminatorEndAtTheFieldsEnd) {
    // What a faulty peer might send: every byte set.
    unsigned char bytes[kRemoteMagazineSize];
    std::memset(bytes, 'z', sizeof bytes);
    RemoteStatusRecord status = DecodeRemoteStatus(bytes);
    EXPECT_EQ(status.code, "zz");
    EXPECT_EQ(status.text, std::string(kRemoteStatusTextSize, 'z'));
    RemoteSlotRecord slot = DecodeRemoteSlot(bytes);
    EXPECT_TRUE(slot.present);
    EXPECT_EQ(slot.id.size(), size_t(kRemoteSlotIdSize));
    EXPECT_EQ(slot.artist.size(), size_t(kRemoteTextSize));
    EXPECT_EQ(slot.title.size(), size_t(kRemoteTextSize));
}

// Naming a disc: the catalogue line changes at once, the window is asked
// to show its row anew, and every later reply reads the new names. A bad
// slot or text is refused with why, and the file stays as it was.
TEST_F(RemoteRequest, SetArtistAndTitleEditTheCatalogue) {
    ScratchWorkingDir dir;
    const std::string file = "One\tFirst\r\nTwo\tSecond\r\n";
    dir.WriteFile("zub.txt", file);
    int token;
    g_hWnd = &token;
    struct Case {
        int32_t command;
        int32_t slot;
        std::string text;
        int32_t result;
        const char* message;
        const char* after;  // the file afterwards
    };
    const Case cases[] = {
        {REMOTE_SET_ARTIST, 2, "Caf\xC3\xA9", RemoteAnswerDone, "",
         "One\tFirst\r\nCaf\xE9\tSecond\r\n"},
        {REMOTE_SET_TITLE, 2, "Live", RemoteAnswerDone, "", "One\tFirst\r\nCaf\xE9\tLive\r\n"},
        {REMOTE_SET_TITLE, 4, "Far", RemoteAnswerDone, "",
         "One\tFirst\r\nCaf\xE9\tLive\r\n\r\n\tFar\r\n"},
        {REMOTE_SET_ARTIST, 0, "X", RemoteAnswerRefused, "slot 0 does not exist (slots are 1..100)",
         nullptr},
        {REMOTE_SET_ARTIST, 101, "X", RemoteAnswerRefused,
         "slot 101 does not exist (slots are 1..100)", nullptr},
        {REMOTE_SET_ARTIST, 1, "a\tb", RemoteAnswerRefused, "the artist holds a TAB", nullptr},
        {REMOTE_SET_TITLE, 1, "a\r\nb", RemoteAnswerRefused, "the title holds a line break",
         nullptr},
        {REMOTE_SET_TITLE, 1, "\x1B[2J", RemoteAnswerRefused, "the title holds a control character",
         nullptr},
        {REMOTE_SET_ARTIST, 1, std::string(65, 'a'), RemoteAnswerRefused,
         "the artist is 65 bytes long; at most 64 are allowed", nullptr},
        {REMOTE_SET_ARTIST, 1, "\xE9t\xE9", RemoteAnswerRefused, "the artist is not UTF-8 text",
         nullptr},
    };
    std::string expected = file;
    for (const Case& c : cases) {
        ClearPlatformRecord();
        MagazineCopy before;
        ReadMagazineCopy(&before);
        RemoteAnswerRecord answer = HandleText(c.command, c.slot, 0, c.text);
        MagazineCopy after;
        ReadMagazineCopy(&after);
        EXPECT_EQ(after.generation != before.generation, c.after != nullptr) << c.text;
        EXPECT_EQ(answer.result, c.result) << c.text;
        EXPECT_EQ(answer.message, c.message) << c.text;
        if (c.after != nullptr) {
            expected = c.after;
            EXPECT_EQ(RecordedSlotRowRefreshes(), std::vector<int>{c.slot});
        } else {
            EXPECT_TRUE(RecordedSlotRowRefreshes().empty());
        }
        EXPECT_EQ(ReadFileBytes("zub.txt"), expected) << c.text;
    }
    // The info reply reads the new names at once.
    g_nDisc = 2;
    Handle(REMOTE_INFO);
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + kRemoteArtistOffset), "Caf\xE9");
    EXPECT_STREQ(reinterpret_cast<char*>(reply_ + kRemoteTitleOffset), "Live");

    // A text that fills its field without a NUL is refused, not cut.
    std::memset(buffer_, 'x', sizeof buffer_);
    WriteRemoteInt(buffer_, REMOTE_SET_ARTIST);
    WriteRemoteInt(buffer_ + kRemoteDiscOffset, 1);
    WriteRemoteInt(buffer_ + kRemoteTrackOffset, 0);
    ASSERT_EQ(HandleRemoteRequest(buffer_, reply_), kRemoteAnswerSize);
    EXPECT_EQ(DecodeRemoteAnswer(reply_).result, RemoteAnswerRefused);
    EXPECT_EQ(DecodeRemoteAnswer(reply_).message,
              "the text has no end within the request's 80 bytes");
    EXPECT_EQ(ReadFileBytes("zub.txt"), expected);

    // A catalogue that cannot be written: failed, with why; the file stays.
    chmod("zub.txt", 0444);
    RemoteAnswerRecord answer = HandleText(REMOTE_SET_ARTIST, 1, 0, "New");
    EXPECT_EQ(answer.result, RemoteAnswerFailed);
    EXPECT_EQ(answer.message, "cannot write zub.txt: the file is read-only");
    EXPECT_EQ(ReadFileBytes("zub.txt"), expected);
    chmod("zub.txt", 0644);
    g_hWnd = nullptr;
}

// A present disc with its identifier, as a scan leaves it.
void FillDisc(int slot, int first, int count, const char* id) {
    FillSlot(slot, first, count);
    std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
    std::snprintf(g_slots[slot - 1].szDiscId, kDiscIdLength + 1, "%s", id);
    PublishWholeMagazine();
}

// Styles and track titles go to the store for the disc the slot holds;
// the tracks reply reads them back with the play counts, the history the
// plays. What names no disc or track, or a bad text, is refused with why.
TEST_F(RemoteRequest, StylesTitlesTracksAndHistory) {
    FillDisc(4, 1, 10, "ZUB0000004");
    FillSlot(5, 1, 3);  // a disc without identifier
    int token;
    g_hWnd = &token;
    struct Case {
        int32_t command;
        int32_t slot;
        int32_t track;
        std::string text;
        int32_t result;
        const char* message;
    };
    const Case cases[] = {
        {REMOTE_SET_DISC_STYLE, 4, 0, "Jazz", RemoteAnswerDone, ""},
        {REMOTE_SET_TRACK_TITLE, 4, 3, "So What", RemoteAnswerDone, ""},
        {REMOTE_SET_TRACK_STYLE, 4, 3, "Modal", RemoteAnswerDone, ""},
        {REMOTE_SET_TRACK_TITLE, 4, 10, "Last", RemoteAnswerDone, ""},
        {REMOTE_SET_TRACK_TITLE, 4, 11, "X", RemoteAnswerRefused,
         "the disc in slot 4 has no track 11 (its tracks are 1-10)"},
        {REMOTE_SET_TRACK_STYLE, 4, 0, "X", RemoteAnswerRefused,
         "track 0 does not exist (tracks are 1..99)"},
        {REMOTE_SET_DISC_STYLE, 6, 0, "Jazz", RemoteAnswerRefused, "slot 6 holds no disc"},
        {REMOTE_SET_TRACK_TITLE, 101, 1, "X", RemoteAnswerRefused,
         "slot 101 does not exist (slots are 1..100)"},
        {REMOTE_SET_DISC_STYLE, 4, 0, "a\tb", RemoteAnswerRefused, "the style holds a TAB"},
        {REMOTE_SET_TRACK_STYLE, 4, 3, std::string(32, 's'), RemoteAnswerRefused,
         "the style is 32 bytes long; at most 31 are allowed"},
        {REMOTE_SET_TRACK_TITLE, 4, 3, "a\nb", RemoteAnswerRefused,
         "the track title holds a line break"},
    };
    for (const Case& c : cases) {
        ClearPlatformRecord();
        RemoteAnswerRecord answer = HandleText(c.command, c.slot, c.track, c.text);
        EXPECT_EQ(answer.result, c.result) << c.text;
        EXPECT_EQ(answer.message, c.message) << c.text;
        EXPECT_EQ(RecordedSlotRowRefreshes(),
                  c.result == RemoteAnswerDone ? std::vector<int>{c.slot} : std::vector<int>{});
    }
    RemoteAnswerRecord noId = HandleText(REMOTE_SET_DISC_STYLE, 5, 0, "Jazz");
    EXPECT_EQ(noId.result, RemoteAnswerRefused);
    EXPECT_EQ(noId.message.rfind("the disc in slot 5: ", 0), 0u) << noId.message;

    ASSERT_TRUE(RecordPlay("ZUB0000004", 3, 1796800000));
    ASSERT_TRUE(RecordPlay("ZUB0000004", 3, 1796800300));
    ASSERT_TRUE(RecordPlay("ZUB0000099", 7, 1796800600));  // a disc not in the magazine

    ASSERT_EQ(Handle(REMOTE_TRACKS, 4), kRemoteTracksSize);
    RemoteTracksRecord tracks = DecodeRemoteTracks(reply_);
    EXPECT_EQ(tracks.slot, 4);
    EXPECT_EQ(tracks.firstTrack, 1);
    EXPECT_EQ(tracks.style, "Jazz");
    ASSERT_EQ(tracks.tracks.size(), 10u);
    EXPECT_EQ(tracks.tracks[2].track, 3);
    EXPECT_EQ(tracks.tracks[2].title, "So What");
    EXPECT_EQ(tracks.tracks[2].style, "Modal");
    EXPECT_EQ(tracks.tracks[2].plays, 2);
    EXPECT_EQ(tracks.tracks[9].title, "Last");
    EXPECT_EQ(tracks.tracks[9].style, "");
    EXPECT_EQ(tracks.tracks[0].plays, 0);
    for (int32_t slot : {6, 0, 101, -1}) {
        ASSERT_EQ(Handle(REMOTE_TRACKS, slot), kRemoteTracksSize);
        tracks = DecodeRemoteTracks(reply_);
        EXPECT_EQ(tracks.slot, slot == 6 ? 6 : 0);
        EXPECT_TRUE(tracks.tracks.empty());
    }

    ASSERT_EQ(Handle(REMOTE_HISTORY), kRemoteHistorySize);
    RemoteHistoryRecord history = DecodeRemoteHistory(reply_);
    ASSERT_EQ(history.recent.size(), 3u);
    EXPECT_EQ(history.recent[0].discId, "ZUB0000099");
    EXPECT_EQ(history.recent[0].slot, 0);
    EXPECT_EQ(history.recent[0].playedAt, 1796800600);
    EXPECT_EQ(history.recent[1].slot, 4);
    EXPECT_EQ(history.recent[1].track, 3);
    EXPECT_EQ(history.recent[1].plays, 2);
    EXPECT_EQ(history.recent[1].title, "So What");
    EXPECT_EQ(history.recent[1].playedAt, 1796800300);
    ASSERT_EQ(history.mostPlayed.size(), 2u);
    EXPECT_EQ(history.mostPlayed[0].discId, "ZUB0000004");
    EXPECT_EQ(history.mostPlayed[0].plays, 2);
    EXPECT_EQ(history.mostPlayed[0].playedAt, 1796800300);
    g_hWnd = nullptr;
}

// A style shuffle answers how many tracks it took; none leaves the
// playlist and the mode alone.
TEST_F(RemoteRequest, StyleShuffleAnswersItsCount) {
    FillDisc(4, 1, 10, "ZUB0000004");
    ASSERT_TRUE(SetDiscStyle("ZUB0000004", "Jazz"));
    ASSERT_TRUE(SetTrackTitleStyle("ZUB0000004", 3, "", "Modal"));
    g_nMode = ModeStop;
    RemoteAnswerRecord none = HandleText(REMOTE_STYLE_SHUFFLE, 0, 0, "Polka");
    EXPECT_EQ(none.result, RemoteAnswerDone);
    EXPECT_EQ(none.value, 0);
    EXPECT_EQ(g_nMode.load(), ModeStop);
    EXPECT_EQ(line_.Written(), "");

    RemoteAnswerRecord empty = HandleText(REMOTE_STYLE_SHUFFLE, 0, 0, "");
    EXPECT_EQ(empty.result, RemoteAnswerRefused);
    EXPECT_EQ(empty.message, "the style to shuffle is empty");

    RemoteAnswerRecord jazz = HandleText(REMOTE_STYLE_SHUFFLE, 0, 0, "jazz");
    EXPECT_EQ(jazz.result, RemoteAnswerDone);
    EXPECT_EQ(jazz.value, 9);  // track 3 has its own style
    EXPECT_EQ(g_nMode.load(), ModeShuffle);
    EXPECT_EQ(Sent().size(), 4u);  // its first entry plays
}

TEST_F(RemoteRequest, OtherCommandValuesAreIgnored) {
    FillSlot(3, 1, 12);
    int token;
    g_hWnd = &token;
    g_nMode = ModeStop;
    // A valid command character with anything in the upper bytes, and
    // characters next to the command range.
    for (int32_t command : {0x132, 0x10032, 0x01000034, 0x7F000035, 0x2B, 0x41, 0x136, 0, -1}) {
        EXPECT_EQ(Handle(command, 3, 5), 0) << command;
    }
    EXPECT_EQ(line_.Written(), "");
    EXPECT_TRUE(RecordedButtonCommands().empty());
    EXPECT_EQ(g_nMode.load(), ModeStop);
}

}  // namespace
