// The changer link over a real pseudo-terminal against the simulated changer:
// ChangerTransact through OpenPosixSerialLine, with the changer misbehaving.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "link/changer_link.h"
#include "link/serial_line_posix.h"
#include "tests/support/pty_sim.h"
#include "tools/changer-sim/changer_sim.h"

namespace {

const int kLineTimeoutMs = 300;

class LinkPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartPtySim(ChangerSimOptions(), kLineTimeoutMs, &sim, &line));
        g_linkState = LinkState();
        g_hCom = line.get();
    }
    void TearDown() override {
        g_hCom = nullptr;
        line.reset();
        sim->Stop();
    }

    int Transact(int command, const char* argument) {
        return ChangerTransactLocked(command, argument, reply, &replyLength);
    }
    std::string Reply() const { return std::string(reply, replyLength); }
    bool LastFrameAnswered() {
        return sim->WaitForFrames([](const std::vector<SimFrameRecord>& frames) {
            return !frames.empty() && frames.back().answered;
        });
    }

    std::unique_ptr<ChangerSim> sim;
    std::unique_ptr<SerialLine> line;
    char reply[kReplyBufferSize] = {};
    int replyLength = 0;
};

TEST_F(LinkPty, StatusExchange) {
    EXPECT_EQ(Transact(CMD_STATUS, nullptr), 0);
    ASSERT_EQ(replyLength, 28);
    EXPECT_TRUE(ReplyEndsWithEtx(reply, replyLength));
    EXPECT_EQ(Reply().substr(1, 6), "241600");
    EXPECT_EQ(Reply().substr(7, 6), "LNN 01");

    char slot[8];
    FormatSlotArgument(100, slot);
    EXPECT_EQ(Transact(CMD_LOAD, slot), 0);
    EXPECT_EQ(Transact(CMD_LOAD, "A03"), 1);  // empty slot
    EXPECT_EQ(Transact(CMD_DISC_ID, nullptr), 2);
    EXPECT_EQ(Transact(6, nullptr), 99);
}

TEST_F(LinkPty, OverlongReplyTailIsNotReadByTheNextExchange) {
    sim->SetFault(SimFault::Overlong);
    Transact(CMD_STATUS, nullptr);
    EXPECT_EQ(replyLength, kMaxReplyBytes);
    EXPECT_FALSE(ReplyEndsWithEtx(reply, replyLength));
    // The 11 bytes beyond the 49 read are waiting on the line.
    ASSERT_TRUE(sim->WaitForSlaveInput());

    sim->SetFault(SimFault::None);
    EXPECT_EQ(Transact(CMD_LOAD, "A01"), 0);
    EXPECT_EQ(Reply(),
              "\x02"
              "040100\x03");
}

TEST_F(LinkPty, SilentChangerEndsTheExchangeAfterOneTimeout) {
    sim->SetFault(SimFault::Silent);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Transact(CMD_STATUS, nullptr), kNoResult);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(replyLength, 0);
    // One time-out, not one per reply position (49 x 300 ms).
    EXPECT_LT(took, std::chrono::milliseconds(10 * kLineTimeoutMs));
    ASSERT_TRUE(sim->WaitForFrames(
        [](const std::vector<SimFrameRecord>& frames) { return !frames.empty(); }));
    std::vector<SimFrameRecord> frames = sim->Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, CMD_STATUS);
    EXPECT_FALSE(frames[0].answered);
}

TEST_F(LinkPty, KnownSilentLineWaitsOneSecondUntilAReplyLiftsTheCap) {
    // A line whose own time-out is far longer than any wait here.
    line = OpenPosixSerialLine(sim->SlavePath().c_str(), 60000);
    ASSERT_NE(line, nullptr);
    g_hCom = line.get();
    g_linkState.lineSilent = true;
    line->LimitFirstByteWait(kSilentLineWaitMs);

    sim->SetFault(SimFault::Silent);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Transact(CMD_STATUS, nullptr), kNoResult);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kSilentLineWaitMs - 50));
    EXPECT_LT(took, std::chrono::milliseconds(5 * kSilentLineWaitMs));

    // A reply lifts the cap: one later than the cap is still read.
    sim->SetFault(SimFault::None);
    EXPECT_EQ(Transact(CMD_STATUS, nullptr), 0);
    EXPECT_FALSE(g_linkState.lineSilent);
    sim->SetFault(SimFault::Late, kSilentLineWaitMs + 500);
    EXPECT_EQ(Transact(CMD_STOP, nullptr), 0);
}

TEST_F(LinkPty, LateReplyIsNotTakenAsTheNextReply) {
    ASSERT_EQ(Transact(CMD_LOAD, "A01"), 0);
    sim->SetFault(SimFault::Late, 4 * kLineTimeoutMs);
    EXPECT_EQ(Transact(CMD_DISC_ID, nullptr), kNoResult);
    EXPECT_EQ(replyLength, 0);
    // The disc identifier reply comes after all and waits on the line.
    ASSERT_TRUE(LastFrameAnswered());
    ASSERT_TRUE(sim->WaitForSlaveInput());

    sim->SetFault(SimFault::None);
    EXPECT_EQ(Transact(CMD_STATUS, nullptr), 0);
    ASSERT_EQ(replyLength, 28);
    EXPECT_EQ(Reply().substr(3, 2), "16");
    EXPECT_EQ(Reply().substr(7, 2), "SN");
}

TEST_F(LinkPty, GarbageGivesNoResult) {
    sim->SetFault(SimFault::Garbage);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Transact(CMD_STATUS, nullptr), kNoResult) << i;
        EXPECT_GT(replyLength, 0) << i;
    }
    sim->SetFault(SimFault::None);
    EXPECT_EQ(Transact(CMD_STOP, nullptr), 0);
    EXPECT_EQ(Reply(),
              "\x02"
              "040200\x03");
}

}  // namespace
