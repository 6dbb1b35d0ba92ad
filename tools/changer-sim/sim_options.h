// changer-sim's command line.
#pragma once

#include <string>
#include <vector>

#include "tools/changer-sim/changer_sim.h"

// Largest play-clock factor of --speed and of the control command "speed".
const int kSimLargestSpeed = 1000;

const char kSimUsage[] =
    "usage: changer-sim [--magazine FILE] [--link PATH] [--log FILE] [--baud N]\n"
    "                   [--load-delay MS] [--speed X] [--control FIFO]\n"
    "Prints \"pty <slave path>\" once ready; runs until SIGINT/SIGTERM or \"quit\".\n"
    "--speed X runs the play clock X (1..1000) times faster.\n"
    "Control FIFO commands: fault none|silent|garbage|overlong|loader-error,\n"
    "  fault late MS, remove SLOT, insert SLOT ID [first=N] M:SS ..., speed X, quit\n";

struct SimCommandLine {
    ChangerSimOptions options;
    std::string controlPath;  // empty: no control FIFO
    bool help = false;        // --help or -h: print kSimUsage, nothing else
};

// Parses the arguments after the program name. On error returns false with
// one line that names the option and the problem ("unknown option --bogus",
// "--speed: 100001 is above the largest factor, 1000").
bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* line,
                         std::string* error);
