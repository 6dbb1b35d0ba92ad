// The benchmarks' changer: starts the simulated changer on a pty and opens
// the program's own serial line to it, as the program would open COM1.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "link/changer_link.h"
#include "link/serial_line_posix.h"
#include "tools/changer-sim/changer_sim.h"

// Slots 1..discs, each with tracks of assorted lengths (2:00 .. 6:59).
inline SimMagazine BuildBenchMagazine(int discs, int tracks) {
    SimMagazine magazine;
    for (int slot = 1; slot <= discs; ++slot) {
        SimDisc disc;
        char id[16];
        std::snprintf(id, sizeof id, "ZUB%07d", slot * 7919 % 10000000);
        disc.id = id;
        for (int track = 0; track < tracks; ++track) {
            disc.trackSeconds.push_back(120 + (slot * 37 + track * 53) % 300);
        }
        magazine[slot] = disc;
    }
    return magazine;
}

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
