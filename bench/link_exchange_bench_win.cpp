// Link benchmark for the program's own serial backend: status exchanges on
// COM1 (under Wine, the simulated changer's pty), unpaced.
#include <cstdint>
#include <cstdio>

#include "bench/exchange_timing.h"

int main(int argc, char** argv) {
    int64_t exchanges = 500;
    if (!ParseExchangeCount(argc, argv, &exchanges)) {
        return 2;
    }
    if (!OpenChangerPort()) {
        std::fprintf(stderr, "cannot open COM1\n");
        return 1;
    }
    int result = RunExchangeBenchmark("Win32 backend, COM1", static_cast<int>(exchanges));
    CloseChangerPort();
    return result;
}
