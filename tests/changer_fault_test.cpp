// The status poll over a real pty while the simulated changer misbehaves:
// silent, garbage, over-long and late replies, and a changer that goes away
// and comes back on a new pty. During a fault every exchange ends and the
// status reads "(none)"; afterwards the real status is back at once and no
// exchange takes bytes left over from an earlier one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "changer/status_poll.h"
#include "link/changer_link.h"
#include "link/serial_line_posix.h"
#include "platform/window_hooks_posix.h"
#include "protocol/remote_protocol.h"
#include "remote/remote_request.h"
#include "tests/support/error_box_checks.h"
#include "tests/support/reset_state.h"
#include "tools/changer-sim/changer_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kLineTimeoutMs = 250;
const int kWaitLimitMs = 20000;  // for conditions that come within a second or two

// Waits until done() holds, checking every few milliseconds; false after
// limitMs.
bool WaitUntil(const std::function<bool()>& done, int limitMs = kWaitLimitMs) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int StatusRow() {
    std::lock_guard<std::recursive_mutex> lock(g_hStatusMutex);
    return g_nStatus;
}

size_t CountStatusFrames(const std::vector<SimFrameRecord>& frames, size_t from,
                         bool answeredOnly) {
    size_t count = 0;
    for (size_t i = from; i < frames.size(); ++i) {
        if (frames[i].command == CMD_STATUS && (!answeredOnly || frames[i].answered)) {
            ++count;
        }
    }
    return count;
}

class ChangerFault : public ::testing::Test {
protected:
    void SetUp() override {
        ResetChangerState();
        ClearPlatformRecord();
        static int serial = 0;
        linkPath = "/tmp/zub-fault-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
        StartChanger();
        line = OpenPosixSerialLine(linkPath.c_str(), kLineTimeoutMs);
        ASSERT_NE(line, nullptr);
        g_hCom = line.get();
        // Disc 7 playing track 3; the manual clock keeps it there.
        ASSERT_EQ(Transact(CMD_LOAD, "A07"), 0);
        ASSERT_EQ(Transact(CMD_TRACK, "A03"), 0);
        ASSERT_EQ(Transact(CMD_PLAY, nullptr), 0);
    }

    void TearDown() override {
        StopPolling();
        g_hWnd = nullptr;
        g_hCom = nullptr;
        line.reset();
        sim.reset();
        ResetChangerState();
        ClearPlatformRecord();
    }

    // A changer on a new pty, reached through the link path.
    void StartChanger() {
        ChangerSimOptions options;
        options.manualClock = true;
        options.baud = baud;
        options.linkPath = linkPath;
        sim.reset();
        sim = std::make_unique<ChangerSim>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
    }

    int Transact(int command, const char* argument) {
        return ChangerTransactLocked(command, argument, reply, &replyLength);
    }
    std::string Reply() const { return std::string(reply, replyLength); }

    void ExpectPlayingSevenThree() {
        EXPECT_EQ(StatusRow(), StatusPlay);
        EXPECT_EQ(g_nDisc, 7);
        EXPECT_EQ(g_nTrack, 3);
    }

    size_t FrameCount() { return sim->Frames().size(); }

    // Waits until the log holds count status frames from index from on.
    bool WaitForStatusFrames(size_t from, size_t count, bool answeredOnly) {
        return sim->WaitForFrames(
            [&](const std::vector<SimFrameRecord>& frames) {
                return CountStatusFrames(frames, from, answeredOnly) >= count;
            },
            kWaitLimitMs);
    }

    // The poll thread with a short period, stopped by StopPolling; its wait
    // records how long each poll took and the status row it left.
    void StartPolling(int periodMs) {
        polling = true;
        PollLoop loop;
        loop.periodMs = periodMs;
        loop.stop = [this] { return !polling; };
        loop.wait = [this](int ms) {
            std::unique_lock<std::mutex> lock(pollMutex);
            pollTimes.push_back(Clock::now() - pollStart);
            pollRows.push_back(StatusRow());
            pollWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !polling; });
            pollStart = Clock::now();
        };
        pollStart = Clock::now();
        poller = std::thread(PollStatusThread, reinterpret_cast<WindowHandle>(1), loop);
    }

    void StopPolling() {
        {
            std::lock_guard<std::mutex> lock(pollMutex);
            polling = false;
        }
        pollWake.notify_all();
        if (poller.joinable()) {
            poller.join();
        }
    }

    size_t PollCount() {
        std::lock_guard<std::mutex> lock(pollMutex);
        return pollRows.size();
    }

    int baud = 0;
    std::string linkPath;
    std::unique_ptr<ChangerSim> sim;
    std::unique_ptr<SerialLine> line;
    char reply[kReplyBufferSize] = {};
    int replyLength = 0;

    std::atomic<bool> polling{false};
    std::thread poller;
    std::mutex pollMutex;
    std::condition_variable pollWake;  // StopPolling ends the wait between polls
    Clock::time_point pollStart;       // poll thread only, once started
    std::vector<Clock::duration> pollTimes;
    std::vector<int> pollRows;
};

// Replies paced as on a 9600-baud line: a reply's tail is still arriving
// when the link has stopped reading it.
class ChangerFaultPaced : public ChangerFault {
protected:
    void SetUp() override {
        baud = 9600;
        ChangerFault::SetUp();
    }
};

TEST_F(ChangerFault, SilentChangerKeepsThePollGoingAndItRecovers) {
    StartPolling(50);
    ASSERT_TRUE(WaitUntil([] { return StatusRow() == StatusPlay; }));

    sim->SetFault(SimFault::Silent);
    size_t mark = FrameCount();
    int repaints = RecordedRepaintCount();
    ASSERT_TRUE(WaitForStatusFrames(mark, 3, false));
    // Each silent exchange ended (on one time-out) and the panel was asked to
    // repaint after it, showing no status; disc and track stay as they were.
    ASSERT_TRUE(WaitUntil([] { return StatusRow() == StatusNone; }));
    EXPECT_GE(RecordedRepaintCount() - repaints, 2);
    EXPECT_EQ(g_nDisc, 7);
    EXPECT_EQ(g_nTrack, 3);

    // A remote position request answers while the poll holds the line.
    ASSERT_TRUE(WaitUntil([] {
        std::unique_lock<std::recursive_mutex> lock(g_hComMutex, std::try_to_lock);
        return !lock.owns_lock();
    }));
    unsigned char request[kRemoteRequestSize] = {REMOTE_POSITION};
    unsigned char answer[kRemoteInfoSize] = {};
    ASSERT_EQ(HandleRemoteRequest(request, answer), kRemotePositionSize);
    EXPECT_EQ(ReadRemoteInt(answer), 7);
    EXPECT_EQ(ReadRemoteInt(answer + 4), 3);

    sim->SetFault(SimFault::None);
    ASSERT_TRUE(WaitUntil([] { return StatusRow() == StatusPlay; }));
    // Skip the poll that brought it back: it waited for a quiet line first.
    size_t recovered = PollCount() + 1;
    ASSERT_TRUE(WaitUntil([&] { return PollCount() >= recovered + 3; }));
    StopPolling();
    ExpectPlayingSevenThree();
    // Once the status is back, the polls that follow see it every time and
    // none of them waits out a time-out or a quiet line.
    for (size_t i = recovered; i < pollRows.size(); ++i) {
        EXPECT_EQ(pollRows[i], StatusPlay) << "poll " << i;
        EXPECT_LT(pollTimes[i], std::chrono::milliseconds(kLineTimeoutMs)) << "poll " << i;
    }
    for (const SimFrameRecord& frame : sim->Frames()) {
        EXPECT_FALSE(frame.bad);
    }
}

TEST_F(ChangerFault, GarbageRepliesShowNoStatusAndLeaveNothingBehind) {
    PollStatusOnce();
    ExpectPlayingSevenThree();

    sim->SetFault(SimFault::Garbage);
    for (int i = 0; i < 4; ++i) {
        PollStatusOnce();
        EXPECT_EQ(StatusRow(), StatusNone) << i;
    }
    sim->SetFault(SimFault::None);
    PollStatusOnce();
    ExpectPlayingSevenThree();
    EXPECT_EQ(Transact(CMD_DISC_ID, nullptr), 0);
    EXPECT_EQ(Reply().substr(3, 2), "13");
}

TEST_F(ChangerFaultPaced, OverlongReplyTailIsNotReadWhileStillArriving) {
    sim->SetFault(SimFault::Overlong);
    PollStatusOnce();
    EXPECT_EQ(StatusRow(), StatusNone);

    // The next command goes out at once, as the scan sends its commands,
    // while the 11 bytes past the 49 read are still coming in.
    sim->SetFault(SimFault::None);
    EXPECT_EQ(Transact(CMD_DISC_ID, nullptr), 0);
    EXPECT_EQ(Reply().substr(3, 2), "13");
    EXPECT_TRUE(ReplyEndsWithEtx(reply, replyLength));
    PollStatusOnce();
    ExpectPlayingSevenThree();
}

TEST_F(ChangerFault, LateRepliesAreNotTakenForTheNextFrames) {
    // Late but within the time-out: an ordinary, slow reply.
    sim->SetFault(SimFault::Late, kLineTimeoutMs / 2);
    PollStatusOnce();
    ExpectPlayingSevenThree();

    // Past the time-out: the exchange has no reply. The reply turns up just
    // after, when the next command would already be out; it is dropped.
    sim->SetFault(SimFault::Late, kLineTimeoutMs + 100);
    EXPECT_EQ(Transact(CMD_DISC_ID, nullptr), kNoResult);
    EXPECT_EQ(replyLength, 0);
    sim->SetFault(SimFault::None);
    PollStatusOnce();
    ExpectPlayingSevenThree();
    EXPECT_EQ(Transact(CMD_TOC, nullptr), 0);
    EXPECT_EQ(Reply().substr(3, 2), "15");
    // The late identifier reply was sent in full, before the poll's frame.
    EXPECT_TRUE(sim->WaitForFrames([](const std::vector<SimFrameRecord>& frames) {
        size_t n = frames.size();
        return n >= 3 && frames[n - 3].command == CMD_DISC_ID && frames[n - 3].answered;
    }));
}

TEST_F(ChangerFault, RestartedChangerIsPickedUpWithoutAFailedWrite) {
    PollStatusOnce();
    ExpectPlayingSevenThree();

    // The changer goes away in the middle of a silent exchange: the read
    // ends at once (the line's time-out here is far longer than the wait).
    line.reset();
    g_hCom = nullptr;
    line = OpenPosixSerialLine(linkPath.c_str(), 60000);
    ASSERT_NE(line, nullptr);
    g_hCom = line.get();
    sim->SetFault(SimFault::Silent);
    size_t mark = FrameCount();
    std::atomic<bool> ended{false};
    std::thread poll([&] {
        PollStatusOnce();
        ended = true;
    });
    ASSERT_TRUE(WaitForStatusFrames(mark, 1, false));
    Clock::time_point stopped = Clock::now();
    StartChanger();  // the old changer stops; a fresh one takes the link path
    bool endedEarly = WaitUntil([&] { return ended.load(); }, 30000);
    poll.join();
    EXPECT_TRUE(endedEarly);
    EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(30));
    EXPECT_EQ(StatusRow(), StatusNone);

    // The next exchange reopens the line and talks to the new changer, which
    // has no disc loaded.
    PollStatusOnce();
    EXPECT_EQ(StatusRow(), FindStatusRow("LN"));
    EXPECT_TRUE(RecordedErrorBoxes().empty());
    ASSERT_EQ(Transact(CMD_LOAD, "A12"), 0);
    ASSERT_EQ(Transact(CMD_PLAY, nullptr), 0);
    PollStatusOnce();
    EXPECT_EQ(StatusRow(), StatusPlay);
    EXPECT_EQ(g_nDisc, 12);
    EXPECT_TRUE(RecordedErrorBoxes().empty());
}

TEST_F(ChangerFault, AbsentChangerPostsOneBoxAtATimeAndIsPickedUpWhenBack) {
    int window = 0;
    g_hWnd = &window;
    sim.reset();  // the link path goes with it
    for (int i = 0; i < 3; ++i) {
        PollStatusOnce();
        EXPECT_EQ(StatusRow(), StatusNone);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectOneWriteFailedBox(&window));

    // Back on the same path: the next poll reopens the line, no click needed.
    StartChanger();
    PollStatusOnce();
    EXPECT_EQ(StatusRow(), FindStatusRow("LN"));
    EXPECT_TRUE(sim->WaitForFrames([](const std::vector<SimFrameRecord>& frames) {
        return frames.size() == 1 && frames[0].answered;
    }));

    // Gone again while the first box is still open: no second box.
    sim.reset();
    PollStatusOnce();
    PollStatusOnce();
    EXPECT_EQ(RecordedErrorBoxes().size(), 1u);

    // Back, OK pressed, gone again: a new outage, a new box.
    StartChanger();
    PollStatusOnce();
    EXPECT_EQ(StatusRow(), FindStatusRow("LN"));
    CloseRecordedErrorBox();
    sim.reset();
    PollStatusOnce();
    PollStatusOnce();
    EXPECT_EQ(RecordedErrorBoxes().size(), 2u);
}

}  // namespace
