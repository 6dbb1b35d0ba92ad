// Line commands that steer a running simulated changer (its control FIFO).
#pragma once

#include <string>

#include "tools/changer-sim/changer_sim.h"

enum class SimControlResult {
    Done,   // carried out (an empty line does nothing)
    Quit,   // "quit": the program should end
    Error,  // not understood; message says why
};

// Commands: "fault none|silent|garbage|overlong|loader-error", "fault late MS",
// "remove SLOT", "insert SLOT ID [first=N] M:SS ...", "speed X", "quit".
// message receives a short confirmation or the error.
SimControlResult ApplySimControl(ChangerSim& sim, const std::string& line, std::string& message);
