// The simulated changer's commands, reply layouts and play clock, with time
// moved by hand.
#include <gtest/gtest.h>

#include <string>

#include "tools/changer-sim/sim_changer.h"
#include "tools/changer-sim/sim_frame.h"

namespace {

SimDisc MakeDisc(const std::string& id, std::vector<int> seconds, int first = 1) {
    SimDisc disc;
    disc.id = id;
    disc.firstTrack = first;
    disc.trackSeconds = seconds;
    return disc;
}

// Slot 3: tracks of 10, 20 and 30 s; slot 9: tracks 4-5; slot 100: one track.
SimMagazine TestMagazine() {
    SimMagazine magazine;
    magazine[3] = MakeDisc("DISC3", {10, 20, 30});
    magazine[9] = MakeDisc("A-VERY-LONG-ID", {125, 61}, 4);
    magazine[100] = MakeDisc("HUNDRED", {300});
    return magazine;
}

class SimBehaviour : public ::testing::Test {
protected:
    // The whole reply frame, as it goes on the line.
    std::string Send(int command, const std::string& argument = "") {
        SimReply reply = changer.Execute(command, argument);
        return BuildSimReply(command, reply.result, reply.payload);
    }
    int Result(int command, const std::string& argument = "") {
        return changer.Execute(command, argument).result;
    }
    std::string Status() { return Send(SimStatus); }
    // Moves the clock on by ms; the status reply from its row code on then
    // begins with expected.
    void ExpectStatusAfter(int ms, const std::string& expected) {
        changer.Advance(ms);
        EXPECT_EQ(Field(Status(), 7, expected.size()), expected) << "after " << ms << " ms";
    }
    // Disc 3 playing from track 1, autopause set by the given command.
    void PlayDiscThree(int autopauseCommand) {
        ASSERT_EQ(Result(SimLoad, "A03"), SimOk);
        ASSERT_EQ(Result(autopauseCommand), SimOk);
        ASSERT_EQ(Result(SimPlay), SimOk);
    }
    static std::string Field(const std::string& reply, size_t at, size_t length) {
        return reply.substr(at, length);
    }

    SimChanger changer{TestMagazine()};
};

TEST_F(SimBehaviour, StatusLayoutWhilePlaying) {
    ASSERT_EQ(Result(SimLoad, "A03"), SimOk);
    ASSERT_EQ(Result(SimTrack, "A02"), SimOk);
    ASSERT_EQ(Result(SimPlay), SimOk);
    changer.Advance(7500);
    std::string reply = Status();
    ASSERT_EQ(reply.size(), 28u);
    EXPECT_EQ(reply[0], '\x02');
    EXPECT_EQ(Field(reply, 1, 2), "24");
    EXPECT_EQ(Field(reply, 3, 2), "16");
    EXPECT_EQ(Field(reply, 5, 2), "00");
    EXPECT_EQ(Field(reply, 7, 2), "PL");
    EXPECT_EQ(reply[9], 'N');
    EXPECT_EQ(reply[10], ' ');
    EXPECT_EQ(Field(reply, 11, 2), "03");
    EXPECT_EQ(Field(reply, 13, 2), "02");
    EXPECT_EQ(Field(reply, 15, 2), "01");
    EXPECT_EQ(Field(reply, 17, 4), "0007");
    EXPECT_EQ(Field(reply, 21, 2), "00");
    EXPECT_EQ(Field(reply, 23, 4), "0019");  // 0:02 lead-in + 10 s + 7 s
    EXPECT_EQ(reply[27], '\x03');

    ASSERT_EQ(Result(SimAutopauseOn), SimOk);
    EXPECT_EQ(Status()[9], 'S');
}

TEST_F(SimBehaviour, DiscIdTocAndTrackInfoLayouts) {
    ASSERT_EQ(Result(SimLoad, "A09"), SimOk);
    std::string id = Send(SimDiscId);
    ASSERT_EQ(id.size(), 20u);
    EXPECT_EQ(Field(id, 5, 2), "00");
    EXPECT_EQ(Field(id, 7, 2), "00");
    EXPECT_EQ(Field(id, 9, 10), "A-VERY-LON");  // cut to ten
    EXPECT_EQ(id[19], '\x03');

    std::string toc = Send(SimToc);
    ASSERT_EQ(toc.size(), 18u);
    EXPECT_EQ(Field(toc, 7, 2), "00");
    EXPECT_EQ(Field(toc, 9, 2), "04");
    EXPECT_EQ(Field(toc, 11, 2), "05");
    EXPECT_EQ(Field(toc, 13, 4), "0308");  // 2 + 125 + 61 s
    EXPECT_EQ(toc[17], '\x03');

    std::string info = Send(SimTrackInfo, "A05");
    ASSERT_EQ(info.size(), 18u);
    EXPECT_EQ(Field(info, 5, 2), "00");
    EXPECT_EQ(Field(info, 7, 2), "05");
    EXPECT_EQ(Field(info, 9, 4), "0207");
    EXPECT_EQ(Field(info, 13, 4), "0308");
    EXPECT_EQ(Field(Send(SimTrackInfo, "A04"), 9, 8), "00020207");

    ASSERT_EQ(Result(SimLoad, "A03"), SimOk);
    EXPECT_EQ(Field(Send(SimDiscId), 9, 10), "DISC3     ");  // padded to ten
}

TEST_F(SimBehaviour, LoadResults) {
    EXPECT_EQ(Result(SimLoad, "A00"), SimOk);  // A00 is slot 100
    EXPECT_EQ(Field(Status(), 7, 6), "SNN 00");
    EXPECT_EQ(Result(SimLoad, "A04"), SimEmptySlot);
    EXPECT_EQ(Field(Status(), 7, 2), "LN");
    EXPECT_EQ(Field(Status(), 11, 2), "00");  // still the last slot loaded
    EXPECT_EQ(Result(SimLoad, "A4"), SimBadArgument);
    EXPECT_EQ(Result(SimLoad, "B03"), SimBadArgument);
    EXPECT_EQ(Result(SimLoad, ""), SimBadArgument);
}

TEST_F(SimBehaviour, CommandsNeedingADiscAndBadArguments) {
    for (int command : {SimTrack, SimPause, SimPlay, SimDiscId, SimToc, SimTrackInfo}) {
        EXPECT_EQ(Result(command, "A01"), SimNeedsDisc) << command;
    }
    EXPECT_EQ(Send(SimDiscId),
              "\x02"
              "041302\x03");  // no payload on failure
    for (int command : {SimStop, SimUnload, SimAutopauseOn, SimAutopauseOff, SimStatus}) {
        EXPECT_EQ(Result(command), SimOk) << command;
    }
    EXPECT_EQ(Result(5), SimUnknownCode);
    EXPECT_EQ(Result(99), SimUnknownCode);

    ASSERT_EQ(Result(SimLoad, "A09"), SimOk);
    EXPECT_EQ(Result(SimTrack, "A03"), SimBadArgument);  // before the first track
    EXPECT_EQ(Result(SimTrack, "A06"), SimBadArgument);  // after the last
    EXPECT_EQ(Result(SimTrackInfo, "A00"), SimBadArgument);
    EXPECT_EQ(Result(SimTrack, "A5"), SimBadArgument);
    EXPECT_EQ(Result(SimTrack, "A05"), SimOk);
}

TEST_F(SimBehaviour, InitialStatusAndUnload) {
    EXPECT_EQ(Field(Status(), 7, 20), "LNN 0100000000000000");  // slot 1 before any load
    ASSERT_EQ(Result(SimLoad, "A03"), SimOk);
    ASSERT_EQ(Result(SimUnload), SimOk);
    EXPECT_EQ(Field(Status(), 7, 20), "LNN 0300000000000000");
}

TEST_F(SimBehaviour, StopAndTocStates) {
    ASSERT_EQ(Result(SimLoad, "A03"), SimOk);
    EXPECT_EQ(Field(Status(), 7, 20), "SNN 0301000000000002");
    Send(SimToc);
    EXPECT_EQ(Field(Status(), 7, 2), "ST");
    ASSERT_EQ(Result(SimTrack, "A02"), SimOk);
    ASSERT_EQ(Result(SimPlay), SimOk);
    changer.Advance(5000);
    ASSERT_EQ(Result(SimStop), SimOk);
    // Back at the start of the selected track.
    EXPECT_EQ(Field(Status(), 7, 20), "STN 0302000000000012");
    changer.Advance(5000);
    EXPECT_EQ(Field(Status(), 17, 4), "0000");  // the clock runs only in play
}

TEST_F(SimBehaviour, PauseHoldsThePositionAndPlayResumes) {
    ASSERT_EQ(Result(SimLoad, "A03"), SimOk);
    ASSERT_EQ(Result(SimPlay), SimOk);
    changer.Advance(3000);
    ASSERT_EQ(Result(SimPause), SimOk);
    ExpectStatusAfter(60000, "PAN 0301010003");
    ASSERT_EQ(Result(SimPlay), SimOk);
    ExpectStatusAfter(1000, "PLN 0301010004");
}

TEST_F(SimBehaviour, AutopausePausesAtEachTrackEndThenAtTheDiscEnd) {
    ASSERT_NO_FATAL_FAILURE(PlayDiscThree(SimAutopauseOn));
    ExpectStatusAfter(9999, "PLS 0301010009");
    // Paused at the start of track 2, ready to go on with it.
    ExpectStatusAfter(1, "PTS 0302000000000012");
    ExpectStatusAfter(5000, "PT");

    ASSERT_EQ(Result(SimPlay), SimOk);
    ExpectStatusAfter(1000, "PLS 0302010001");
    // Beyond track 2: stops at its end all the same.
    ExpectStatusAfter(25000, "PTS 0303000000000032");

    ASSERT_EQ(Result(SimPlay), SimOk);
    ExpectStatusAfter(30000, "PDS 0303000030000102");

    // PLAY after the end of the disc starts again at the selected track.
    ASSERT_EQ(Result(SimPlay), SimOk);
    EXPECT_EQ(Field(Status(), 7, 14), "PLS 0301010000");
}

TEST_F(SimBehaviour, WithoutAutopausePlayRunsOnToTheEndOfTheDisc) {
    ASSERT_NO_FATAL_FAILURE(PlayDiscThree(SimAutopauseOff));
    ExpectStatusAfter(15000, "PLN 0302010005");
    ExpectStatusAfter(44999, "PLN 0303010029");
    ExpectStatusAfter(1, "SDN 0303000030000102");
    ExpectStatusAfter(60000, "SD");
}

TEST_F(SimBehaviour, LoadStopsPlayAndSelectsTheFirstTrack) {
    ASSERT_EQ(Result(SimLoad, "A03"), SimOk);
    ASSERT_EQ(Result(SimTrack, "A03"), SimOk);
    ASSERT_EQ(Result(SimPlay), SimOk);
    changer.Advance(2000);
    ASSERT_EQ(Result(SimLoad, "A09"), SimOk);
    EXPECT_EQ(Field(Status(), 7, 20), "SNN 0904000000000002");
    ASSERT_EQ(Result(SimPlay), SimOk);
    EXPECT_EQ(Field(Status(), 7, 10), "PLN 090401");
}

TEST_F(SimBehaviour, LoaderErrorAndMagazineChanges) {
    changer.SetLoaderError(true);
    EXPECT_EQ(Result(SimLoad, "A03"), SimEmptySlot);
    EXPECT_EQ(Field(Status(), 7, 2), "LE");
    changer.SetLoaderError(false);
    ASSERT_EQ(Result(SimLoad, "A03"), SimOk);

    // The disc in the player stays there when its slot is emptied.
    changer.RemoveDisc(3);
    EXPECT_EQ(Field(Status(), 7, 2), "SN");
    EXPECT_EQ(Field(Send(SimDiscId), 9, 10), "DISC3     ");
    EXPECT_EQ(Result(SimLoad, "A03"), SimEmptySlot);

    changer.InsertDisc(3, MakeDisc("FRESH", {42}));
    ASSERT_EQ(Result(SimLoad, "A03"), SimOk);
    EXPECT_EQ(Field(Send(SimToc), 9, 8), "01010044");
}

}  // namespace
