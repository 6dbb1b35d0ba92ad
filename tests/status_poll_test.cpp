// The status poll: reply parsing, the no-reply rule and every poll transition.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "changer/magazine.h"
#include "changer/playlist.h"
#include "changer/status_answer.h"
#include "changer/status_poll.h"
#include "changer/track_notes.h"
#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "tests/support/fresh_changer_test.h"
#include "tests/support/reset_state.h"
#include "tests/support/scripted_line.h"

namespace {

using Commands = std::vector<std::string>;

class StatusPollTest : public FreshChangerTest {
protected:
    SerialLine& CaseLine() override { return line; }

    // Every status value the poll stores, read under the status lock.
    static std::string StoredStatus() {
        std::lock_guard<std::recursive_mutex> lock(g_hStatusMutex);
        char text[128];
        std::snprintf(text, sizeof text,
                      "row %d autopause %d disc %d track %d index %d times %d:%02d %d:%02d",
                      g_nStatus, g_bAutopause, g_nDisc.load(), g_nTrack.load(), g_nIndex,
                      g_timeTrack.bMinutes, g_timeTrack.bSeconds, g_timeDisc.bMinutes,
                      g_timeDisc.bSeconds);
        return text;
    }

    // One poll answered with reply; returns the commands it sent after the
    // status request.
    Commands Poll(const std::string& reply) {
        size_t before = line.Written().size();
        line.Reply(reply);
        PollStatusOnce();
        Commands sent = SentCommands(line.Written().substr(before));
        EXPECT_FALSE(sent.empty());
        if (!sent.empty()) {
            EXPECT_EQ(sent.front(), "16");
            sent.erase(sent.begin());
        }
        return sent;
    }

    // A built playlist of a single disc, position 0, in mode.
    void StartPlaylist(int mode) {
        FillSlot(4, 1, 12);
        BuildPlaylist();
        g_nPlaylistPos = 0;
        g_nMode = mode;
    }

    static bool IsPlayUnit(const Commands& sent) {
        return sent.size() == 4 && sent[0] == "01A04" && sent[1].compare(0, 2, "04") == 0 &&
               sent[2] == "10" && sent[3] == "07";
    }

    ScriptedLine line;
};

TEST(StatusCodes, TableRowsAndLookup) {
    ASSERT_EQ(kStatusCodeCount, 13);
    EXPECT_STREQ(g_statusCodes[0].code, "  ");
    EXPECT_STREQ(g_statusCodes[0].text, "(none)");
    EXPECT_STREQ(g_statusCodes[3].text, "stop, no TOC read");
    EXPECT_STREQ(g_statusCodes[7].code, "PL");
    EXPECT_STREQ(g_statusCodes[12].code, "PD");
    EXPECT_STREQ(g_statusCodes[12].text, "pause due to autopause, end of disc");
    EXPECT_EQ(FindStatusRow("PT"), 11);
    EXPECT_EQ(FindStatusRow("LN"), 1);
    EXPECT_EQ(FindStatusRow("  "), 0);
    EXPECT_EQ(FindStatusRow("XX"), 0);
    EXPECT_EQ(FindStatusRow("P "), 0);
}

TEST_F(StatusPollTest, ParsesEveryField) {
    EXPECT_TRUE(Poll(StatusReply("PL", true, 7, 3, 2, "0405", "1230")).empty());
    EXPECT_EQ(StoredStatus(), "row 7 autopause 1 disc 7 track 3 index 2 times 4:05 12:30");
}

TEST(ParseStatusReply, WholeOnlyWithEtxAtByteTwentySevenOrLater) {
    const std::string reply = StatusReply("PT", true, 100, 9, 4, "0102", "0304");
    StatusReplyFields status = ParseStatusReply(reply.data(), static_cast<int>(reply.size()));
    EXPECT_TRUE(status.whole);
    EXPECT_EQ(status.row, 11);
    EXPECT_EQ(status.disc, 100);
    EXPECT_EQ(status.track, 9);
    EXPECT_EQ(status.index, 4);
    EXPECT_EQ(status.autopause, 1);
    EXPECT_EQ(status.timeTrack.bSeconds, 2);
    EXPECT_EQ(status.timeDisc.bMinutes, 3);

    // ETX at 26, no ETX, nothing at all: not whole, and no field is read.
    const std::string early = reply.substr(0, 26) + "\x03";
    const std::string cut = reply.substr(0, 27);
    for (const std::string& bytes : {early, cut, std::string()}) {
        status = ParseStatusReply(bytes.data(), static_cast<int>(bytes.size()));
        EXPECT_FALSE(status.whole);
        EXPECT_EQ(status.row, 0);
        EXPECT_EQ(status.disc, 0);
        EXPECT_EQ(status.autopause, 0);
    }
    // Trailing bytes after byte 27 do not matter while the last is ETX.
    const std::string longer = reply.substr(0, 27) + "xyz\x03";
    EXPECT_TRUE(ParseStatusReply(longer.data(), static_cast<int>(longer.size())).whole);
}

TEST_F(StatusPollTest, DiscZeroIsSlotHundredAndOnlySMeansAutopause) {
    std::string reply = StatusReply("PA", false, 100, 1);
    reply[9] = 's';
    Poll(reply);
    EXPECT_EQ(g_nDisc, 100);
    EXPECT_EQ(g_bAutopause, 0);
    EXPECT_EQ(g_nStatus, 10);
}

TEST_F(StatusPollTest, NonDigitFieldsGiveDefinedValues) {
    std::string reply = StatusReply("PL", false, 1, 1);
    reply[11] = 'X';
    reply[12] = 'X';
    reply[13] = ' ';
    reply[14] = '\xff';
    reply[15] = 'l';
    g_nMode = ModeWholeDisc;
    EXPECT_TRUE(Poll(reply).empty());
    // Not two digits: 0, "not reported", never a disc outside 0..100.
    EXPECT_EQ(g_nDisc, 0);
    EXPECT_EQ(g_nTrack, 0);
    EXPECT_EQ(g_nIndex, 0);
    EXPECT_EQ(g_nStatus, 7);            // the code is still read
    EXPECT_EQ(g_nMode, ModeWholeDisc);  // no disc: no whole-disc end

    // One digit and one other byte is not a number either; "00" is slot 100.
    const char* halfNumbers[] = {"l7", "7l", " 7", "7 "};
    for (const char* field : halfNumbers) {
        reply = StatusReply("PL", false, 100, 5);
        reply[11] = field[0];
        reply[12] = field[1];
        Poll(reply);
        EXPECT_EQ(g_nDisc, 0) << field;
        EXPECT_EQ(g_nTrack, 5) << field;
    }
    Poll(StatusReply("PL", false, 100, 5));
    EXPECT_EQ(g_nDisc, 100);
}

TEST_F(StatusPollTest, UnknownCodeIsRowZero) {
    StartPlaylist(ModeShuffle);
    EXPECT_TRUE(Poll(StatusReply("XX", false, 4, 1)).empty());
    EXPECT_EQ(g_nStatus, 0);
    EXPECT_EQ(g_nMode, ModeShuffle);

    g_nMode = ModeWholeDisc;
    EXPECT_TRUE(IsPlayUnit(Poll(StatusReply("XX", false, 4, 1))));
    EXPECT_EQ(g_nMode, ModeShuffle);
}

// Also when the player holds no disc or its loader failed (a changer that
// was switched off and on, a loader error that has passed): nothing would
// ever end by itself there.
TEST_F(StatusPollTest, ShuffleAdvancesOnTrackAndDiscEnds) {
    StartPlaylist(ModeShuffle);
    const char* advancing[] = {"SN", "SE", "SD", "PT", "PD", "LN", "LE"};
    int position = 0;
    for (const char* code : advancing) {
        EXPECT_TRUE(IsPlayUnit(Poll(StatusReply(code, true, 4, 1)))) << code;
        EXPECT_EQ(g_nPlaylistPos, ++position) << code;
    }
    const char* quiet[] = {"  ", "ST", "PL", "PF", "PR", "PA"};
    for (const char* code : quiet) {
        EXPECT_TRUE(Poll(StatusReply(code, true, 4, 1)).empty()) << code;
    }
    EXPECT_EQ(g_nPlaylistPos, position);
    EXPECT_EQ(g_nMode, ModeShuffle);
}

TEST_F(StatusPollTest, TwoAutopausePollsPlayTwoEntries) {
    StartPlaylist(ModeShuffle);
    std::vector<PlaylistEntry> order = g_hPlaylist;
    Commands first = Poll(StatusReply("PT", true, 4, 1));
    Commands second = Poll(StatusReply("PT", true, 4, 1));
    ASSERT_TRUE(IsPlayUnit(first));
    ASSERT_TRUE(IsPlayUnit(second));
    char track[8];
    FormatTrackArgument(order[0].wTrack, track);
    EXPECT_EQ(first[1], std::string("04") + track);
    FormatTrackArgument(order[1].wTrack, track);
    EXPECT_EQ(second[1], std::string("04") + track);
}

int64_t g_fakeNowMs = 0;
int64_t FakeClockMs() {
    return g_fakeNowMs;
}

TEST_F(StatusPollTest, PollWithoutReplyChangesNothing) {
    g_statusClock = FakeClockMs;
    g_fakeNowMs = 5000;
    EXPECT_EQ(MsSinceStatusAnswer(), -1);  // no whole reply yet
    StartPlaylist(ModeShuffle);
    EXPECT_TRUE(IsPlayUnit(Poll(StatusReply("PT", true, 4, 2, 1, "0312", "0945"))));
    ASSERT_EQ(g_nPlaylistPos, 1);
    EXPECT_EQ(g_bStatusAnswered, 1);
    EXPECT_EQ(g_nLastAnswerMs, 5000);

    // A silent line, a reply cut short before its ETX, and an ETX before
    // byte 27: the status line says "(none)", nothing else moves.
    std::string cut = StatusReply("PT", true, 4, 2).substr(0, 20);
    std::string early = StatusReply("PT", true, 4, 2).substr(0, 20) + "\x03";
    for (const std::string& reply : {std::string(), cut, early}) {
        EXPECT_TRUE(Poll(reply).empty());
        EXPECT_EQ(StoredStatus(), "row 0 autopause 1 disc 4 track 2 index 1 times 3:12 9:45");
        EXPECT_EQ(g_nPlaylistPos, 1);
        EXPECT_EQ(g_bStatusAnswered, 0);
        EXPECT_EQ(g_nLastAnswerMs, 5000);  // the last whole reply's time stays
    }
    g_fakeNowMs = 7400;
    EXPECT_EQ(MsSinceStatusAnswer(), 2400);

    // Whole-disc play is not left on a missing reply either.
    g_nMode = ModeWholeDisc;
    EXPECT_TRUE(Poll("").empty());
    EXPECT_EQ(g_nMode, ModeWholeDisc);
}

// Records, at every write, whether another thread could take the status
// lock then.
class StatusLockProbeLine : public ScriptedLine {
public:
    int Write(const unsigned char* bytes, int count) override {
        bool free =
            std::async(std::launch::async, [] {
                std::unique_lock<std::recursive_mutex> lock(g_hStatusMutex, std::try_to_lock);
                return lock.owns_lock();
            }).get();
        if (!free) {
            ++writesUnderStatusLock;
        }
        return ScriptedLine::Write(bytes, count);
    }
    std::atomic<int> writesUnderStatusLock{0};
};

TEST_F(StatusPollTest, TransitionsSendWithTheStatusLockReleased) {
    StatusLockProbeLine probe;
    g_hCom = &probe;
    StartPlaylist(ModeShuffle);
    probe.Reply(StatusReply("PT", true, 4, 1));
    PollStatusOnce();  // a whole play request
    g_nMode = ModeWholeDisc;
    probe.Reply(StatusReply("PL", false, 4, 13));
    PollStatusOnce();  // the autopause command
    EXPECT_EQ(SentCommands(probe.Written()).size(), 1u + 4u + 1u + 1u);
    EXPECT_EQ(probe.writesUnderStatusLock, 0);
    EXPECT_EQ(g_nStatus, StatusPlay);
}

TEST_F(StatusPollTest, WholeDiscEndsOnePastTheLastTrack) {
    StartPlaylist(ModeWholeDisc);  // slot 4, tracks 1..12
    EXPECT_TRUE(Poll(StatusReply("PL", false, 4, 12)).empty());
    EXPECT_EQ(g_nMode, ModeWholeDisc);

    Commands sent = Poll(StatusReply("PL", false, 4, 13));
    EXPECT_EQ(sent, Commands{"07"});
    EXPECT_EQ(g_nMode, ModeShuffle);
    EXPECT_EQ(g_nPlaylistPos, 0);  // nothing played
}

TEST_F(StatusPollTest, WholeDiscOnAnEmptySlotHasNoLastTrack) {
    StartPlaylist(ModeWholeDisc);
    // Slot 9 held a disc of tracks 1..3 at an earlier scan and is empty now.
    FillSlot(9, 1, 3);
    g_slots[8].wFlags = 0;
    EXPECT_TRUE(Poll(StatusReply("PL", false, 9, 4)).empty());
    EXPECT_TRUE(Poll(StatusReply("PL", false, 50, 0)).empty());
    EXPECT_EQ(g_nMode, ModeWholeDisc);
}

TEST_F(StatusPollTest, WholeDiscLeavesForShuffleOnAnyOtherStatus) {
    StartPlaylist(ModeWholeDisc);
    EXPECT_TRUE(IsPlayUnit(Poll(StatusReply("SD", false, 4, 12))));
    EXPECT_EQ(g_nMode, ModeShuffle);
    EXPECT_EQ(g_nPlaylistPos, 1);

    g_nMode = ModeWholeDisc;
    EXPECT_TRUE(IsPlayUnit(Poll(StatusReply("PA", false, 4, 3))));
    EXPECT_EQ(g_nMode, ModeShuffle);
}

TEST_F(StatusPollTest, WholeDiscTestUsesTheReportedSlot) {
    StartPlaylist(ModeWholeDisc);
    FillSlot(100, 1, 5);
    EXPECT_TRUE(Poll(StatusReply("PL", false, 4, 6)).empty());  // slot 4 has 12
    EXPECT_EQ(Poll(StatusReply("PL", false, 100, 6)), Commands{"07"});
    EXPECT_EQ(g_nMode, ModeShuffle);
}

TEST_F(StatusPollTest, OtherModesOnlyReport) {
    StartPlaylist(ModePlay);
    for (int mode : {ModePlay, ModePause, ModeStop, ModeUnloaded}) {
        g_nMode = mode;
        for (const char* code : {"PT", "PD", "SD", "PL", "XX"}) {
            EXPECT_TRUE(Poll(StatusReply(code, true, 4, 13)).empty());
            EXPECT_EQ(g_nMode, mode);
        }
    }
    EXPECT_EQ(g_nPlaylistPos, 0);
}

}  // namespace

namespace {

// One poll as the play counter sees it: state, track, position in seconds,
// and the time since the previous poll.
struct Seen {
    PlayState state;
    int track;
    int position;
    int afterMs;
};

// Feeds the polls to a fresh counter (disc "DISC", slot 4, every track 100
// seconds long) and returns the tracks counted, in order.
std::vector<int> CountedTracks(const std::vector<Seen>& polls) {
    PlayCounter counter;
    std::vector<int> counted;
    int64_t now = 1000;
    for (const Seen& poll : polls) {
        now += poll.afterMs;
        PlayObservation seen;
        seen.state = poll.state;
        seen.disc = 4;
        seen.discId = "DISC";
        seen.track = poll.track;
        seen.positionSeconds = poll.position;
        seen.lengthSeconds = 100;
        CountedPlay play;
        if (counter.Observe(seen, now, &play)) {
            EXPECT_EQ(play.discId, "DISC");
            counted.push_back(play.track);
        }
    }
    return counted;
}

// Polls of track playing from `from` to `to` seconds, one every 1200 ms.
std::vector<Seen> Playing(int track, int from, int to) {
    std::vector<Seen> polls;
    for (int ms = from * 1000; ms <= to * 1000; ms += 1200) {
        polls.push_back({PlayState::Playing, track, ms / 1000, polls.empty() ? 0 : 1200});
    }
    return polls;
}

std::vector<Seen> Then(std::vector<Seen> a, const std::vector<Seen>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const PlayState kPlay = PlayState::Playing;
const PlayState kPause = PlayState::Paused;
const PlayState kEnd = PlayState::Ended;
const PlayState kStop = PlayState::Stopped;
const PlayState kWind = PlayState::Winding;
const PlayState kUnknown = PlayState::Unknown;

}  // namespace

TEST(StatusPollPlayCount, TheRuleCountsWholeAndHalfPlaysOnce) {
    struct Case {
        const char* name;
        std::vector<Seen> polls;
        std::vector<int> counted;
    };
    const Case cases[] = {
        {"played to the end, then the autopause",
         Then(Playing(1, 0, 99), {{kEnd, 2, 0, 1200}}),
         {1}},
        {"half played counts at the half", Playing(1, 0, 51), {1}},
        {"just under half does not count", Playing(1, 0, 49), {}},
        {"skipped early to another track", Then(Playing(1, 0, 20), Playing(2, 0, 10)), {}},
        {"stopped early", Then(Playing(1, 0, 30), {{kStop, 1, 0, 1200}}), {}},
        {"played on after half counts once",
         Then(Then(Playing(1, 0, 99), {{kEnd, 2, 0, 1200}}), {{kEnd, 2, 0, 1200}}),
         {1}},
        {"a replay of the same track counts again",
         Then(Then(Playing(3, 0, 60), Playing(3, 0, 60)), {{kStop, 3, 0, 1200}}),
         {3, 3}},
        {"the next track right after the end (no autopause)",
         Then(Playing(1, 80, 99), Playing(2, 0, 5)),
         {1}},
        {"an end reached after winding forward",
         Then(Then(Playing(1, 0, 10), {{kWind, 1, 60, 1200}, {kWind, 1, 97, 1200}}),
              Then(Playing(1, 98, 99), {{kEnd, 2, 0, 1200}})),
         {1}},
        {"winding forward past half does not count by time",
         Then(Then(Playing(1, 0, 10), {{kWind, 1, 70, 1200}}), Playing(1, 70, 80)),
         {}},
        {"an end seen without play before it", {{kEnd, 2, 0, 0}, {kEnd, 2, 0, 1200}}, {}},
        // 40 s played, a pause of a minute across polls, 5 s more: 45 s.
        {"paused time is not play",
         Then(Then(Playing(1, 0, 40), {{kPause, 1, 40, 30000}, {kPause, 1, 40, 30000}}),
              Playing(1, 40, 45)),
         {}},
        {"paused, then played to half",
         Then(Then(Playing(1, 0, 40), {{kPause, 1, 40, 30000}}), Playing(1, 40, 52)),
         {1}},
        // A poll held up for a minute while the position moved 5 s.
        {"a late poll adds only what the position moved",
         Then(Playing(1, 0, 40), {{kPlay, 1, 45, 60000}}),
         {}},
        {"answers that say nothing change nothing",
         Then(Then(Playing(1, 0, 40), {{kUnknown, 0, 0, 1200}, {kUnknown, 0, 0, 1200}}),
              Playing(1, 43, 52)),
         {1}},
        {"a rewind to the start is a new play",
         Then(Then(Playing(1, 0, 40), {{kWind, 1, 20, 1200}, {kWind, 1, 0, 1200}}),
              Playing(1, 0, 20)),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CountedTracks(c.polls), c.counted);
    }
}

TEST(StatusPollPlayCount, NoLengthOrNoDiscNeverCountsByTime) {
    PlayCounter counter;
    PlayObservation seen;
    seen.state = PlayState::Playing;
    seen.disc = 4;
    seen.discId = "DISC";
    seen.track = 1;
    CountedPlay play;
    for (int second = 0; second < 400; ++second) {
        seen.positionSeconds = second;
        EXPECT_FALSE(counter.Observe(seen, second * 1000, &play));
    }
    // No disc identifier: the changer's own end says nothing to record.
    PlayCounter unnamed;
    seen.discId = "";
    seen.lengthSeconds = 10;
    for (int second = 0; second < 10; ++second) {
        seen.positionSeconds = second;
        EXPECT_FALSE(unnamed.Observe(seen, second * 1000, &play));
    }
    seen.state = PlayState::Ended;
    EXPECT_FALSE(unnamed.Observe(seen, 11000, &play));
}

TEST_F(StatusPollTest, ACountedPlayIsRecordedForTheDiscInTheSlot) {
    g_statusClock = FakeClockMs;
    g_playedAtClock = [] { return int64_t{1700000000}; };
    g_fakeNowMs = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hComMutex);
        DiscSlot& slot = g_slots[3];
        slot.wFlags = SLOT_PRESENT;
        std::snprintf(slot.szDiscId, sizeof slot.szDiscId, "%s", "POLLED");
        slot.wFirstTrack = 1;
        slot.wTrackCount = 2;
        slot.pTracks.reset(new TrackEntry[2]);
        slot.pTracks[1].timeLength.bSeconds = 20;  // track 2: 20 s
    }
    char position[8];
    for (int second = 0; second <= 10; ++second) {
        std::snprintf(position, sizeof position, "00%02d", second);
        g_fakeNowMs += 1000;
        Poll(StatusReply("PL", false, 4, 2, 1, position, "0000"));
        EXPECT_EQ(TrackNotes("POLLED", 2).playCount, second < 10 ? 0 : 1) << second;
    }
    Poll(StatusReply("PL", false, 4, 2, 1, "0011", "0000"));
    EXPECT_EQ(TrackNotes("POLLED", 2).playCount, 1);
    ASSERT_EQ(RecentPlays(5).size(), 1u);
    EXPECT_EQ(RecentPlays(5)[0].playedAt, 1700000000);
    EXPECT_EQ(RecentPlays(5)[0].track, 2);
    EXPECT_EQ(RecordedSlotRowRefreshes(), std::vector<int>{4});  // once, when counted
}
