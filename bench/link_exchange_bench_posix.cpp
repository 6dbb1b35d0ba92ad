// Native link benchmark: status exchanges with the simulated changer over a
// real pty, unpaced, so what is timed is our side of the exchange.
#include <cstdint>
#include <cstdio>
#include <string>

#include "bench/changer_line_posix.h"
#include "bench/exchange_timing.h"
#include "tools/changer-sim/changer_sim.h"

int main(int argc, char** argv) {
    int64_t exchanges = 2000;
    if (!ParseExchangeCount(argc, argv, &exchanges)) {
        return 2;
    }
    ChangerSim changer;
    auto line = StartChangerLine(changer);
    if (!line) {
        return 1;
    }
    g_hCom = line.get();
    int result = RunExchangeBenchmark("native, pty", static_cast<int>(exchanges));
    g_hCom = nullptr;
    return result;
}
