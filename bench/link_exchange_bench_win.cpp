// Link benchmark for the program's own serial backend: status exchanges on
// COM1 (under Wine, the simulated changer's pty), unpaced.
#include <cstdint>
#include <cstdio>
#include <string>

#include "bench/exchange_timing.h"
#include "tools/common/bounded_int.h"

int main(int argc, char** argv) {
    int64_t exchanges = 500;
    std::string error;
    if (argc > 1 && !ParseBoundedInt(argv[1], {"", 1, kMostExchanges, "count of exchanges"},
                                     &exchanges, &error)) {
        std::fprintf(stderr, "link-exchange-bench: %s\nusage: link-exchange-bench [EXCHANGES]\n",
                     error.c_str());
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
