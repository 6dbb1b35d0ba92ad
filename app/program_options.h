// zubcd.exe's command line: which changer, on which serial port, on which
// TCP port for the remote, with which library file. With no option the
// program runs as it always has: changer #0 on COM1, TCP port 4239.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/library.h"
#include "link/changer_port.h"
#include "protocol/remote_protocol.h"

struct ProgramOptions {
    std::string portName = kChangerPortName;     // "COM1" to "COM256", upper case
    int changer = kDefaultChanger;               // 0 to 99
    uint16_t remotePort = kRemotePort;           // 1 to 65535
    std::string libraryPath = kLibraryFileName;  // in the working folder
};

// The options in use. Written once by start-up from the command line before
// any other thread starts, read-only afterwards (no lock). Start-up hands
// the port and changer to link/ (g_portName, g_nChanger) and the TCP port to
// remote/ (g_nRemotePort); libraryPath is the file the library opens.
extern ProgramOptions g_options;

const int kChangerNumberLimit = 99;

enum class CommandLineAction {
    Run,   // options hold what to run with
    Help,  // --help: show the usage and end
    Bad,   // error holds one line naming the option and the problem
};

// The arguments after the program's name. Each option at most once;
// --help wins over the options after it, not over a bad one before it.
// options is filled as far as the arguments are read.
CommandLineAction ParseProgramOptions(const std::vector<std::string>& args, ProgramOptions* options,
                                      std::string* error);

// The usage, several lines, with the defaults.
std::string ProgramUsageText();

// The text of the box for a bad command line: the problem, then the usage.
std::string BadCommandLineText(const std::string& error);
