// The benchmarks' changer: starts the simulated changer on a pty and opens
// the program's own serial line to it, as the program would open COM1.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "link/changer_link.h"
#include "link/serial_line_posix.h"
#include "tools/changer-sim/changer_sim.h"

// The line to a started changer, or null after saying on stderr what failed.
inline std::unique_ptr<SerialLine> StartChangerLine(ChangerSim& changer) {
    std::string error;
    if (!changer.Start(&error)) {
        std::fprintf(stderr, "cannot start the simulated changer: %s\n", error.c_str());
        return nullptr;
    }
    auto line = OpenPosixSerialLine(changer.SlavePath().c_str(), kFirstByteTimeoutMs);
    if (!line) {
        std::fprintf(stderr, "cannot open %s\n", changer.SlavePath().c_str());
    }
    return line;
}
