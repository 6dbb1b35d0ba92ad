// The simulated changer's command frame parser and reply frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/changer-sim/sim_frame.h"

namespace {

const std::string kStx = "\x02";

// body between STX and ETX.
std::string Framed(const std::string& body) {
    return kStx + body + "\x03";
}

std::vector<SimCommandFrame> ParseAll(const std::string& bytes, SimFrameParser& parser) {
    std::vector<SimCommandFrame> frames;
    for (unsigned char byte : bytes) {
        SimCommandFrame frame;
        if (parser.Feed(byte, frame)) {
            frames.push_back(frame);
        }
    }
    return frames;
}

std::vector<SimCommandFrame> ParseAll(const std::string& bytes) {
    SimFrameParser parser;
    return ParseAll(bytes, parser);
}

TEST(SimFrameParse, GoodFramesWithAndWithoutArgument) {
    auto frames = ParseAll(Framed("0216") + Framed("0501A07"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(frames[0].bad);
    EXPECT_EQ(frames[0].command, 16);
    EXPECT_EQ(frames[0].argument, "");
    EXPECT_FALSE(frames[1].bad);
    EXPECT_EQ(frames[1].command, 1);
    EXPECT_EQ(frames[1].argument, "A07");
}

TEST(SimFrameParse, BytesBeforeStxAreSkipped) {
    SimFrameParser parser;
    auto frames = ParseAll(std::string("noise\x03\x00\xff", 8) + Framed("0216"), parser);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].bad);
    EXPECT_EQ(frames[0].command, 16);
    EXPECT_EQ(parser.Skipped(), 8);
}

TEST(SimFrameParse, MalformedFramesAreBadAndTheNextFrameStillParses) {
    const char* bad[] = {
        "\x02"
        "0316\x03",  // length says 3, two bytes follow
        "\x02"
        "0x16\x03",  // non-digit length
        "\x02"
        "021A\x03",  // non-digit code
        "\x02"
        "02\x03",    // too short to hold a code
        "\x02\x03",  // empty
        "\x02"
        "0501A0\x03",  // argument shorter than the length
    };
    for (const char* frame : bad) {
        auto frames = ParseAll(frame + Framed("0210"));
        ASSERT_EQ(frames.size(), 2u) << frame;
        EXPECT_TRUE(frames[0].bad) << frame;
        EXPECT_EQ(frames[0].raw, frame);
        EXPECT_FALSE(frames[1].bad) << frame;
        EXPECT_EQ(frames[1].command, 10) << frame;
    }
}

TEST(SimFrameParse, FrameWithoutEtxIsGivenUpAfterSixtyBytes) {
    std::string runaway = kStx + "9901" + std::string(70, 'x');
    auto frames = ParseAll(runaway + "\x03" + Framed("0216"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[0].bad);
    EXPECT_EQ(frames[0].raw.size(), size_t(kSimMaxFrameBytes));
    EXPECT_EQ(frames[1].command, 16);

    // Exactly sixty bytes with ETX last is still a frame.
    std::string argument(54, 'y');
    auto longest = ParseAll(Framed("5601" + argument));
    ASSERT_EQ(longest.size(), 1u);
    EXPECT_FALSE(longest[0].bad);
    EXPECT_EQ(longest[0].argument, argument);
}

TEST(SimFrameParse, StxInsideAFrameStartsAnewOne) {
    auto frames = ParseAll(kStx + "05" + Framed("0216"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[0].bad);
    EXPECT_EQ(frames[0].raw, kStx + "05");
    EXPECT_FALSE(frames[1].bad);
    EXPECT_EQ(frames[1].command, 16);
}

TEST(SimReplyFrame, HeaderCountsCodeResultAndPayload) {
    EXPECT_EQ(BuildSimReply(2, 0, ""), Framed("040200"));
    EXPECT_EQ(BuildSimReply(13, 0, "00ABCDEFGHIJ"), Framed("161300"
                                                           "00ABCDEFGHIJ"));
    EXPECT_EQ(BuildSimReply(42, 99, ""), Framed("044299"));
}

TEST(SimReplyFrame, CommandNamesForTheLog) {
    EXPECT_EQ(SimCommandName(1), "LOAD");
    EXPECT_EQ(SimCommandName(8), "AUTOPAUSE_OFF");
    EXPECT_EQ(SimCommandName(17), "TRACK_INFO");
    EXPECT_EQ(SimCommandName(5), "CMD05");
}

}  // namespace
