// zubcd.exe's command line and the texts that name the changer's port.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program_options.h"
#include "link/changer_port.h"

namespace {

struct GoodCase {
    std::vector<std::string> args;
    std::string port;
    int changer;
    int remotePort;
    std::string library;
};

const GoodCase kGood[] = {
    {{}, "COM1", 0, 4239, "zubcd.db"},
    {{"--port", "COM3"}, "COM3", 0, 4239, "zubcd.db"},
    {{"--port", "com4"}, "COM4", 0, 4239, "zubcd.db"},
    {{"--port", "COM1"}, "COM1", 0, 4239, "zubcd.db"},
    {{"--port", "COM9"}, "COM9", 0, 4239, "zubcd.db"},
    {{"--port", "COM10"}, "COM10", 0, 4239, "zubcd.db"},
    {{"--port", "COM256"}, "COM256", 0, 4239, "zubcd.db"},
    {{"--changer", "0"}, "COM1", 0, 4239, "zubcd.db"},
    {{"--changer", "99"}, "COM1", 99, 4239, "zubcd.db"},
    {{"--remote-port", "1"}, "COM1", 0, 1, "zubcd.db"},
    {{"--remote-port", "65535"}, "COM1", 0, 65535, "zubcd.db"},
    {{"--library", "C:\\music\\two changers.db"}, "COM1", 0, 4239, "C:\\music\\two changers.db"},
    {{"--port", "COM3", "--changer", "1", "--remote-port", "4240", "--library", "b.db"},
     "COM3",
     1,
     4240,
     "b.db"},
    {{"--remote-port", "4240", "--port", "COM12", "--changer", "7"}, "COM12", 7, 4240, "zubcd.db"},
};

TEST(ProgramOptions, GoodCommandLines) {
    for (const GoodCase& c : kGood) {
        ProgramOptions options;
        std::string error;
        ASSERT_EQ(ParseProgramOptions(c.args, &options, &error), CommandLineAction::Run)
            << testing::PrintToString(c.args) << ": " << error;
        EXPECT_EQ(options.portName, c.port) << testing::PrintToString(c.args);
        EXPECT_EQ(options.changer, c.changer) << testing::PrintToString(c.args);
        EXPECT_EQ(options.remotePort, c.remotePort) << testing::PrintToString(c.args);
        EXPECT_EQ(options.libraryPath, c.library) << testing::PrintToString(c.args);
    }
}

struct BadCase {
    std::vector<std::string> args;
    std::string error;
};

const BadCase kBad[] = {
    {{"--port"}, "--port needs a value"},
    {{"--changer"}, "--changer needs a value"},
    {{"--remote-port"}, "--remote-port needs a value"},
    {{"--library"}, "--library needs a value"},
    {{"--port", "COM0"}, "--port: \"COM0\" is no serial port; COM1 to COM256 expected"},
    {{"--port", "COM257"}, "--port: \"COM257\" is no serial port; COM1 to COM256 expected"},
    {{"--port", "COM03"}, "--port: \"COM03\" is no serial port; COM1 to COM256 expected"},
    {{"--port", "COM"}, "--port: \"COM\" is no serial port; COM1 to COM256 expected"},
    {{"--port", "COM3 "}, "--port: \"COM3 \" is no serial port; COM1 to COM256 expected"},
    {{"--port", "COM-1"}, "--port: \"COM-1\" is no serial port; COM1 to COM256 expected"},
    {{"--port", "LPT1"}, "--port: \"LPT1\" is no serial port; COM1 to COM256 expected"},
    {{"--port", "\\\\.\\COM10"},
     "--port: \"\\\\.\\COM10\" is no serial port; COM1 to COM256 expected"},
    {{"--port", ""}, "--port: \"\" is no serial port; COM1 to COM256 expected"},
    {{"--changer", "100"}, "--changer: 100 is above the largest changer number, 99"},
    {{"--changer", "-1"}, "--changer: -1 is below the smallest changer number, 0"},
    {{"--changer", "1x"}, "--changer: \"1x\" is not a whole number"},
    {{"--changer", ""}, "--changer: no number given"},
    {{"--remote-port", "0"}, "--remote-port: 0 is below the smallest TCP port, 1"},
    {{"--remote-port", "65536"}, "--remote-port: 65536 is above the largest TCP port, 65535"},
    {{"--remote-port", "99999999999999999999999"},
     "--remote-port: 99999999999999999999999 is above the largest TCP port, 65535"},
    {{"--library", ""}, "--library: no file name given"},
    {{"--port", "COM3", "--port", "COM4"}, "--port given twice"},
    {{"--changer", "1", "--port", "COM3", "--changer", "1"}, "--changer given twice"},
    {{"--remote-port", "4240", "--remote-port", "4241"}, "--remote-port given twice"},
    {{"--library", "a.db", "--library", "a.db"}, "--library given twice"},
    {{"--baud", "9600"}, "unknown option --baud"},
    {{"--port=COM3"}, "unknown option --port=COM3"},
    {{"-p", "COM3"}, "unexpected argument \"-p\""},
    {{"COM3"}, "unexpected argument \"COM3\""},
    {{"/?"}, "unexpected argument \"/?\""},
    {{"--port", "COM3", "extra"}, "unexpected argument \"extra\""},
    {{"--bad", "--help"}, "unknown option --bad"},
    {{std::string("--\x01") + std::string(60, 'x')},
     "unknown option --?" + std::string(37, 'x') + "..."},
};

TEST(ProgramOptions, BadCommandLinesNameTheOptionAndTheProblem) {
    for (const BadCase& c : kBad) {
        ProgramOptions options;
        std::string error;
        EXPECT_EQ(ParseProgramOptions(c.args, &options, &error), CommandLineAction::Bad)
            << testing::PrintToString(c.args);
        EXPECT_EQ(error, c.error) << testing::PrintToString(c.args);
    }
}

TEST(ProgramOptions, HelpWinsOverWhatFollows) {
    const std::vector<std::string> helps[] = {
        {"--help"},
        {"--port", "COM3", "--help"},
        {"--help", "--port", "COM999"},
        {"--help", "--nonsense"},
    };
    for (const auto& args : helps) {
        ProgramOptions options;
        std::string error;
        EXPECT_EQ(ParseProgramOptions(args, &options, &error), CommandLineAction::Help)
            << testing::PrintToString(args);
    }
}

TEST(ProgramOptions, UsageNamesEveryOptionAndItsDefault) {
    const std::string usage = ProgramUsageText();
    for (const char* part : {"--port COMn", "--changer N", "--remote-port P", "--library FILE",
                             "--help", "(default COM1)", "(default 0)", "(default 4239)",
                             "zubcd.db", "COM1 to COM256", "0 to 99", "1 to 65535"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
    const std::string bad = BadCommandLineText("--port needs a value");
    EXPECT_EQ(bad.rfind("--port needs a value\n\nUsage: zubcd.exe ", 0), 0u) << bad;
}

TEST(ChangerPort, NamesAndDevicePaths) {
    struct Case {
        const char* name;
        int number;
        const char* path;
    } cases[] = {
        {"COM1", 1, "COM1"},
        {"COM9", 9, "COM9"},
        {"com9", 9, "com9"},
        {"COM10", 10, "\\\\.\\COM10"},
        {"COM256", 256, "\\\\.\\COM256"},
        {"COM257", 0, "COM257"},
        {"COM0", 0, "COM0"},
        {"COM01", 0, "COM01"},
        {"COM1000", 0, "COM1000"},
        {"CON", 0, "CON"},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComPortNumber(c.name), c.number) << c.name;
        EXPECT_EQ(PortDevicePath(c.name), c.path) << c.name;
    }
}

TEST(ChangerPort, PortInUseTextNamesThePortsThereAre) {
    struct Case {
        const char* port;
        std::vector<std::string> listed;
        std::string secondLine;
    } cases[] = {
        {"COM1",
         {},
         "This computer has no serial port; once the changer's port is there, choose it with "
         "--port COMn."},
        {"COM9",
         {"LPT1", "", "\\Device\\Serial0", "COM0"},
         "This computer has no serial port; once the changer's port is there, choose it with "
         "--port COMn."},
        {"COM9",
         {"COM3"},
         "This computer's serial port: COM3. Choose one with --port, for "
         "example --port COM3."},
        {"COM9",
         {"COM10", "COM3", "com4", "COM3", "COM2"},
         "This computer's serial ports: COM2, COM3, COM4, COM10. Choose one with --port, for "
         "example --port COM2."},
        {"COM1", {"COM1"}, "This computer's serial port: COM1. Choose another with --port COMn."},
        {"COM1",
         {"COM1", "COM5"},
         "This computer's serial ports: COM1, COM5. Choose one with --port, for example --port "
         "COM5."},
        {"COM12",
         {"COM12", "COM256", "COM257"},
         "This computer's serial ports: COM12, COM256. Choose one with --port, for example "
         "--port COM256."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortInUseText(c.port, c.listed),
                  std::string("Port ") + c.port + " in use.\n" + c.secondLine)
            << c.port << " " << testing::PrintToString(c.listed);
    }
}

}  // namespace
