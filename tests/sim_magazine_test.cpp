// The simulator's magazine file reader, the demo files and control commands.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/changer-sim/changer_sim.h"
#include "tools/changer-sim/sim_control.h"
#include "tools/changer-sim/sim_magazine.h"
#include "tools/changer-sim/sim_options.h"

namespace {

std::string SourceFile(const std::string& relative) {
    std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/")) + "/" + relative;
}

bool Read(const std::string& text, SimMagazine& magazine, std::string& error) {
    std::istringstream input(text);
    return ReadSimMagazine(input, magazine, error);
}

TEST(SimMagazineFile, GoodLinesCommentsAndBlankLines) {
    SimMagazine magazine;
    std::string error;
    ASSERT_TRUE(
        Read("# a comment\n"
             "\n"
             "  7 ABC 1:05 10:00   # trailing comment\r\n"
             "100 LAST first=3 0:59\n",
             magazine, error))
        << error;
    ASSERT_EQ(magazine.size(), 2u);
    const SimDisc& seven = magazine.at(7);
    EXPECT_EQ(seven.id, "ABC");
    EXPECT_EQ(seven.firstTrack, 1);
    EXPECT_EQ(seven.trackSeconds, (std::vector<int>{65, 600}));
    EXPECT_EQ(seven.TrackStart(2), 67);
    EXPECT_EQ(seven.TotalSeconds(), 667);
    const SimDisc& last = magazine.at(100);
    EXPECT_EQ(last.firstTrack, 3);
    EXPECT_EQ(last.LastTrack(), 3);
    EXPECT_EQ(last.TrackStart(3), 2);
}

TEST(SimMagazineFile, MalformedLinesFailTheReadAndNameTheLine) {
    const char* bad[] = {
        "0 ZERO 1:00",               // slot below 1
        "101 BIG 1:00",              // slot above 100
        "x ABC 1:00",                // slot not a number
        "5",                         // no id
        "5 NOTRACKS",                // no tracks
        "5 ABC 1:60",                // seconds out of range
        "5 ABC 1:5",                 // one seconds digit
        "5 ABC 0:00",                // empty track
        "5 ABC 100:00",              // minutes out of range
        "5 ABC 3",                   // no colon
        "5 ABC first=0 1:00",        // first track 0
        "5 ABC 1:00 first=2",        // first= after the tracks
        "5 ABC first=99 1:00 1:00",  // last track beyond 99
    };
    for (const char* line : bad) {
        SimMagazine magazine = {{1, SimDisc()}};
        std::string error;
        EXPECT_FALSE(Read(std::string("1 OK 1:00\n") + line + "\n", magazine, error)) << line;
        EXPECT_EQ(error.compare(0, 7, "line 2:"), 0) << line << ": " << error;
        EXPECT_EQ(magazine.size(), 1u) << "left unchanged";
        EXPECT_TRUE(magazine.at(1).id.empty());
    }
    SimMagazine magazine;
    std::string error;
    EXPECT_FALSE(Read("4 A 1:00\n4 B 2:00\n", magazine, error));
    EXPECT_EQ(error, "line 2: slot 4 given twice");
    EXPECT_FALSE(ReadSimMagazineFile("/nonexistent/magazine.txt", magazine, error));
}

// Only a regular file is read: a directory would read as an empty magazine,
// a FIFO or a device would block or never end.
TEST(SimMagazineFile, OnlyARegularFile) {
    const std::pair<std::string, std::string> refused[] = {
        {"/tmp", "/tmp is a directory, not a magazine file"},
        {"/dev/zero", "/dev/zero is not a regular file"},
        {"/dev/null", "/dev/null is not a regular file"},
        {"/nonexistent/magazine.txt",
         "cannot open /nonexistent/magazine.txt: No such file or directory"},
    };
    for (const auto& r : refused) {
        SimMagazine magazine = {{1, SimDisc()}};
        std::string error;
        EXPECT_FALSE(ReadSimMagazineFile(r.first, magazine, error));
        EXPECT_EQ(error, r.second);
        EXPECT_EQ(magazine.size(), 1u);
    }
}

// Option errors name the option and the problem, in one line.
TEST(SimCommandLine, OptionsAndTheirErrors) {
    SimCommandLine line;
    std::string error;
    ASSERT_TRUE(
        ParseSimCommandLine({"--speed", "60", "--baud", "9600", "--load-delay", "0", "--control",
                             "c.fifo", "--magazine", SourceFile("demo/magazine.txt")},
                            &line, &error))
        << error;
    EXPECT_EQ(line.options.speed, 60.0);
    EXPECT_EQ(line.options.baud, 9600);
    EXPECT_EQ(line.controlPath, "c.fifo");
    EXPECT_EQ(line.options.magazine, DemoMagazine());

    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--bogus", "1"}, "unknown option --bogus"},
        {{"stray"}, "unexpected argument stray"},
        {{"--speed"}, "--speed needs a value"},
        {{"--speed", "100001"}, "--speed: 100001 is above the largest factor, 1000"},
        {{"--speed", "0"}, "--speed: 0 is below the smallest factor, 1"},
        {{"--speed", "1.5"}, "--speed: \"1.5\" is not a whole number"},
        {{"--baud", "-1"}, "--baud: -1 is below the smallest baud rate, 0"},
        {{"--load-delay", "600001"},
         "--load-delay: 600001 is above the largest delay in ms, 600000"},
        {{"--magazine", "/tmp"}, "--magazine: /tmp is a directory, not a magazine file"},
    };
    for (const auto& b : bad) {
        SimCommandLine parsed;
        EXPECT_FALSE(ParseSimCommandLine(b.first, &parsed, &error));
        EXPECT_EQ(error, b.second);
    }
    SimCommandLine help;
    EXPECT_TRUE(ParseSimCommandLine({"--help"}, &help, &error));
    EXPECT_TRUE(help.help);
}

TEST(SimMagazineFile, DemoFileIsTheBuiltInMagazine) {
    SimMagazine fromFile;
    std::string error;
    ASSERT_TRUE(ReadSimMagazineFile(SourceFile("demo/magazine.txt"), fromFile, error)) << error;
    SimMagazine demo = DemoMagazine();
    EXPECT_EQ(fromFile, demo);
    EXPECT_GE(demo.size(), 10u);
    EXPECT_TRUE(demo.count(1));
    EXPECT_TRUE(demo.count(100));
    for (const auto& [slot, disc] : demo) {
        EXPECT_EQ(disc.id.size(), size_t(kSimIdLength)) << slot;
        EXPECT_GE(disc.trackSeconds.size(), 3u) << slot;
        EXPECT_LE(disc.trackSeconds.size(), 14u) << slot;
        EXPECT_LE(disc.TotalSeconds(), 80 * 60) << slot;
    }
}

TEST(SimMagazineFile, DemoCatalogueNamesExactlyTheDemoSlots) {
    std::ifstream input(SourceFile("demo/zub.txt"), std::ios::binary);
    ASSERT_TRUE(input);
    std::string text((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    SimMagazine demo = DemoMagazine();
    size_t start = 0;
    int slot = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        std::string line = text.substr(start, end - start);
        ++slot;
        EXPECT_EQ(line.find('\n'), std::string::npos) << slot;
        if (demo.count(slot)) {
            size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << slot;
            EXPECT_GT(tab, 0u) << slot;
            EXPECT_LT(tab + 1, line.size()) << slot;
        } else {
            EXPECT_EQ(line, "") << slot;
        }
        start = end + 2;
    }
    EXPECT_EQ(slot, 100);
}

TEST(SimControl, CommandsAndTheirErrors) {
    ChangerSimOptions options;
    options.manualClock = true;
    ChangerSim sim(options);  // not started: control only changes state
    std::string message;
    EXPECT_EQ(ApplySimControl(sim, "fault garbage", message), SimControlResult::Done);
    EXPECT_EQ(ApplySimControl(sim, "fault late 250", message), SimControlResult::Done);
    EXPECT_EQ(ApplySimControl(sim, "fault none", message), SimControlResult::Done);
    EXPECT_EQ(ApplySimControl(sim, "remove 100", message), SimControlResult::Done);
    EXPECT_EQ(ApplySimControl(sim, "insert 4 NEWDISC first=2 3:00 0:30", message),
              SimControlResult::Done);
    EXPECT_EQ(ApplySimControl(sim, "speed 25", message), SimControlResult::Done);
    EXPECT_EQ(ApplySimControl(sim, "", message), SimControlResult::Done);
    EXPECT_EQ(ApplySimControl(sim, "quit", message), SimControlResult::Quit);

    const std::pair<const char*, const char*> bad[] = {
        {"fault", "fault none|silent|garbage|overlong|loader-error|late MS"},
        {"fault sideways", "fault none|silent|garbage|overlong|loader-error|late MS"},
        {"fault late", "fault late: no delay in ms given"},
        {"fault late -5", "fault late: -5 is below the smallest delay in ms, 0"},
        {"fault none extra", "fault none|silent|garbage|overlong|loader-error|late MS"},
        {"remove", "remove: no slot given"},
        {"remove 0", "remove: 0 is below the smallest slot, 1"},
        {"remove 101", "remove: 101 is above the largest slot, 100"},
        {"remove 5x", "remove: \"5x\" is not a whole number"},
        {"remove 5 6", "remove: unexpected 6"},
        {"insert 4 ID", "insert SLOT ID [first=N] M:SS ...: no tracks"},
        {"insert 4 ID 1:60", "insert SLOT ID [first=N] M:SS ...: bad track length (M:SS): 1:60"},
        {"insert 0 ID 1:00",
         "insert SLOT ID [first=N] M:SS ...: slot: 0 is below the smallest slot, 1"},
        {"speed 0", "speed: 0 is below the smallest factor, 1"},
        {"speed 1001", "speed: 1001 is above the largest factor, 1000"},
        {"speed fast", "speed: \"fast\" is not a whole number"},
        {"jump 3", "unknown command: jump"}};
    for (const auto& b : bad) {
        message.clear();
        EXPECT_EQ(ApplySimControl(sim, b.first, message), SimControlResult::Error) << b.first;
        EXPECT_EQ(message, b.second);
    }
}

}  // namespace
