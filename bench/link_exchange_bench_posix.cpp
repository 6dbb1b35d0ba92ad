// Native link benchmark: status exchanges with the simulated changer over a
// real pty, unpaced, so what is timed is our side of the exchange.
#include <cstdint>
#include <cstdio>
#include <string>

#include "bench/exchange_timing.h"
#include "link/serial_line_posix.h"
#include "tools/changer-sim/changer_sim.h"

int main(int argc, char** argv) {
    int64_t exchanges = 2000;
    if (!ParseExchangeCount(argc, argv, &exchanges)) {
        return 2;
    }
    std::string error;
    ChangerSim changer;
    if (!changer.Start(&error)) {
        std::fprintf(stderr, "cannot start the simulated changer: %s\n", error.c_str());
        return 1;
    }
    auto line = OpenPosixSerialLine(changer.SlavePath().c_str(), 10000);
    if (!line) {
        std::fprintf(stderr, "cannot open %s\n", changer.SlavePath().c_str());
        return 1;
    }
    g_hCom = line.get();
    int result = RunExchangeBenchmark("native, pty", static_cast<int>(exchanges));
    g_hCom = nullptr;
    return result;
}
