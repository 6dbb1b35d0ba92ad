// A simulated changer for the pty tests: its own clock, its pty opened as
// the serial line under test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/serial_line_posix.h"
#include "tools/changer-sim/changer_sim.h"

// Starts *sim with options on a clock the test moves, then opens its pty
// into *line with the given read time-out.
inline void StartPtySim(ChangerSimOptions options, int lineTimeoutMs,
                        std::unique_ptr<ChangerSim>* sim, std::unique_ptr<SerialLine>* line) {
    options.manualClock = true;
    *sim = std::make_unique<ChangerSim>(options);
    std::string error;
    ASSERT_TRUE((*sim)->Start(&error)) << error;
    *line = OpenPosixSerialLine((*sim)->SlavePath().c_str(), lineTimeoutMs);
    ASSERT_NE(*line, nullptr);
}
