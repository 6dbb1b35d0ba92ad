// Link benchmark for the program's own serial backend: status exchanges on
// COM1 (under Wine, the simulated changer's pty), unpaced.
#include <cstdio>
#include <cstdlib>

#include "bench/exchange_timing.h"

int main(int argc, char** argv) {
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 500;
    if (!OpenChangerPort()) {
        std::fprintf(stderr, "cannot open COM1\n");
        return 1;
    }
    int result = RunExchangeBenchmark("Win32 backend, COM1", exchanges > 0 ? exchanges : 500);
    CloseChangerPort();
    return result;
}
