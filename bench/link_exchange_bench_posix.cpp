// Native link benchmark: status exchanges with the simulated changer over a
// real pty, unpaced, so what is timed is our side of the exchange.
#include <cstdio>
#include <cstdlib>

#include "bench/exchange_timing.h"
#include "link/serial_line_posix.h"
#include "tools/changer-sim/changer_sim.h"

int main(int argc, char** argv) {
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 2000;
    ChangerSim changer;
    std::string error;
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
    int result = RunExchangeBenchmark("native, pty", exchanges > 0 ? exchanges : 2000);
    g_hCom = nullptr;
    return result;
}
