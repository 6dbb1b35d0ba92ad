// The simulated changer serving its pty: bad input on the line, the frame
// log and its file, run-time changes, the manual clock and shutdown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "link/serial_line_posix.h"
#include "tests/support/pty_sim.h"
#include "tools/changer-sim/changer_sim.h"
#include "tools/changer-sim/sim_control.h"

namespace {

// Generous: every read here expects bytes; no test waits for a time-out.
const int kLineTimeoutMs = 5000;

std::string Frame(int command, const std::string& argument = "") {
    char header[8];
    std::snprintf(header, sizeof header, "%02d%02d", static_cast<int>(argument.size() + 2),
                  command);
    return "\x02" + std::string(header) + argument + "\x03";
}

// A fresh directory under /tmp for files the simulator makes; removed, once
// they are gone, at the end.
class TempDir {
public:
    TempDir() {
        made_ = mkdtemp(path_) != nullptr;
        EXPECT_TRUE(made_) << "no directory under /tmp";
    }
    ~TempDir() {
        if (made_) {
            rmdir(path_);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const char* name) const { return std::string(path_) + "/" + name; }

private:
    char path_[19] = "/tmp/simtestXXXXXX";
    bool made_ = false;
};

class SimServer : public ::testing::Test {
protected:
    void StartSim(ChangerSimOptions options = ChangerSimOptions()) {
        StartPtySim(options, kLineTimeoutMs, &sim, &line);
    }
    void TearDown() override {
        line.reset();
        if (sim) {
            sim->Stop();
        }
    }

    void Write(const std::string& bytes) {
        ASSERT_EQ(line->Write(reinterpret_cast<const unsigned char*>(bytes.data()),
                              static_cast<int>(bytes.size())),
                  static_cast<int>(bytes.size()));
    }
    // Bytes up to and including ETX, or up to a read time-out.
    std::string ReadReply() {
        std::string reply;
        unsigned char byte;
        while (line->ReadByte(byte)) {
            reply.push_back(static_cast<char>(byte));
            if (byte == 0x03) {
                break;
            }
        }
        return reply;
    }
    // Exactly count bytes (fewer only after a time-out).
    std::string ReadCount(size_t count) {
        std::string bytes;
        unsigned char byte;
        while (bytes.size() < count && line->ReadByte(byte)) {
            bytes.push_back(static_cast<char>(byte));
        }
        return bytes;
    }
    std::string Exchange(int command, const std::string& argument = "") {
        Write(Frame(command, argument));
        return ReadReply();
    }
    bool WaitForFrameCount(size_t count) {
        return sim->WaitForFrames(
            [count](const std::vector<SimFrameRecord>& frames) { return frames.size() >= count; });
    }
    // The log marks a frame answered once its reply is fully written.
    bool WaitForAnswered(size_t index) {
        return sim->WaitForFrames([index](const std::vector<SimFrameRecord>& frames) {
            return frames.size() > index && frames[index].answered;
        });
    }

    std::unique_ptr<ChangerSim> sim;
    std::unique_ptr<SerialLine> line;
};

TEST_F(SimServer, NoiseAndBadFramesGetNoReplyAndAreLogged) {
    StartSim();
    Write("line noise\x03");
    Write(
        "\x02"
        "0916\x03");  // wrong length
    Write(
        "\x02"
        "02x6\x03");  // non-digit code
    Write(
        "\x02"
        "9901" +
        std::string(70, 'z'));  // runaway frame
    std::string reply = Exchange(16);
    EXPECT_EQ(reply.substr(0, 7),
              "\x02"
              "241600");
    ASSERT_EQ(reply.size(), 28u);

    ASSERT_TRUE(WaitForAnswered(3));
    std::vector<SimFrameRecord> frames = sim->Frames();
    ASSERT_EQ(frames.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(frames[i].bad) << i;
        EXPECT_FALSE(frames[i].answered) << i;
        EXPECT_EQ(frames[i].command, -1);
    }
    EXPECT_EQ(frames[0].argument,
              "\x02"
              "0916\x03");
    EXPECT_FALSE(frames[3].bad);
    EXPECT_EQ(frames[3].command, 16);
    EXPECT_TRUE(frames[3].answered);
    EXPECT_EQ(frames[3].reply, reply);
    EXPECT_LE(frames[0].time, frames[3].time);
}

TEST_F(SimServer, LogFileHasOneLinePerFrame) {
    TempDir directory;
    ChangerSimOptions options;
    options.logPath = directory.File("frames.log");
    StartSim(options);
    Exchange(1, "A07");
    Exchange(16);
    Exchange(42);
    Write(
        "\x02"
        "0x\x03");
    ASSERT_TRUE(WaitForFrameCount(4));

    std::ifstream input(options.logPath);
    std::vector<std::string> lines;
    for (std::string text; std::getline(input, text);) {
        lines.push_back(text);
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d+\.\d{3} 01 LOAD A07)"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\d+\.\d{3} 16 STATUS )"))) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\d+\.\d{3} 42 CMD42 )"))) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(\d+\.\d{3} -- BAD \\x020x\\x03)")))
        << lines[3];
    sim->Stop();
    unlink(options.logPath.c_str());
}

TEST_F(SimServer, ManualClockMovesOnlyWhenAdvanced) {
    StartSim();
    ASSERT_EQ(Exchange(1, "A01").substr(5, 2), "00");
    ASSERT_EQ(Exchange(7).substr(5, 2), "00");
    ASSERT_EQ(Exchange(10).substr(5, 2), "00");
    EXPECT_EQ(Exchange(16).substr(7, 14), "PLS 0101010000");
    sim->AdvanceTime(65);
    EXPECT_EQ(Exchange(16).substr(7, 14), "PLS 0101010105");
    // Track 1 of slot 1 is 3:01 long.
    sim->AdvanceTime(116);
    EXPECT_EQ(sim->StatusPayload().substr(0, 2), "PT");
    EXPECT_EQ(Exchange(16).substr(7, 20), "PTS 0102000000000303");
}

TEST_F(SimServer, ControlCommandsChangeTheRunningChanger) {
    StartSim();
    std::string message;
    ASSERT_EQ(ApplySimControl(*sim, "fault loader-error", message), SimControlResult::Done);
    EXPECT_EQ(Exchange(1, "A01").substr(5, 2), "01");
    EXPECT_EQ(Exchange(16).substr(7, 2), "LE");
    ASSERT_EQ(ApplySimControl(*sim, "fault none", message), SimControlResult::Done);
    ASSERT_EQ(ApplySimControl(*sim, "remove 1", message), SimControlResult::Done);
    EXPECT_EQ(Exchange(1, "A01").substr(5, 2), "01");
    ASSERT_EQ(ApplySimControl(*sim, "insert 1 NEWDISC first=2 3:00 0:30", message),
              SimControlResult::Done);
    EXPECT_EQ(Exchange(1, "A01").substr(5, 2), "00");
    EXPECT_EQ(Exchange(13).substr(9, 10), "NEWDISC   ");
    EXPECT_EQ(Exchange(15).substr(9, 8), "02030332");
    ASSERT_EQ(ApplySimControl(*sim, "fault overlong", message), SimControlResult::Done);
    Write(Frame(16));
    std::string overlong = ReadCount(60);
    ASSERT_EQ(overlong.size(), 60u);
    EXPECT_EQ(overlong.substr(0, 7),
              "\x02"
              "241600");
    EXPECT_EQ(overlong.find('\x03'), std::string::npos);
    ASSERT_TRUE(WaitForAnswered(sim->Frames().size() - 1));
    EXPECT_EQ(sim->Frames().back().reply, overlong);
}

TEST_F(SimServer, PacedRepliesArriveWhole) {
    ChangerSimOptions options;
    options.baud = 9600;
    options.loadDelayMs = 20;
    StartSim(options);
    EXPECT_EQ(Exchange(1, "A00"),
              "\x02"
              "040100\x03");
    EXPECT_EQ(Exchange(16).substr(7, 6), "SNN 00");
}

TEST_F(SimServer, ClientMayCloseAndReopenThePort) {
    StartSim();
    EXPECT_EQ(Exchange(2),
              "\x02"
              "040200\x03");
    line.reset();
    line = OpenPosixSerialLine(sim->SlavePath().c_str(), kLineTimeoutMs);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(Exchange(3),
              "\x02"
              "040300\x03");
}

TEST_F(SimServer, StopEndsAPendingLateReplyAndRemovesTheLink) {
    TempDir directory;
    ChangerSimOptions options;
    options.linkPath = directory.File("com1");
    StartSim(options);
    char target[128] = {};
    ASSERT_GT(readlink(options.linkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim->SlavePath(), target);

    sim->SetFault(SimFault::Late, 600000);
    Write(Frame(16));
    ASSERT_TRUE(WaitForFrameCount(1));
    sim->Stop();  // returns at once instead of after ten minutes
    EXPECT_FALSE(sim->Frames()[0].answered);
    EXPECT_NE(access(options.linkPath.c_str(), F_OK), 0);
    sim->Stop();
}

}  // namespace
