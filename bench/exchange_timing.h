// Times status exchanges over the open changer line and prints our cost per
// exchange beside the time the same bytes need on a 9600-baud line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/bounded_int.h"
#include "link/changer_link.h"

// Most exchanges one run may ask for.
const int kMostExchanges = 1000000;

// Reads the optional EXCHANGES argument into *exchanges (left at its default
// when absent); on bad input prints the reason and usage and returns false.
inline bool ParseExchangeCount(int argc, char** argv, int64_t* exchanges) {
    std::string error;
    if (argc > 1 && !ParseBoundedInt(argv[1], {"", 1, kMostExchanges, "count of exchanges"},
                                     exchanges, &error)) {
        std::fprintf(stderr, "link-exchange-bench: %s\nusage: link-exchange-bench [EXCHANGES]\n",
                     error.c_str());
        return false;
    }
    return true;
}

inline int RunExchangeBenchmark(const char* label, int exchanges) {
    // Warm up: the first exchange may meet a changer still settling.
    ChangerTransactLocked(CMD_STATUS, nullptr, nullptr);

    long long bytesOnLine = 0;
    int failures = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < exchanges; ++i) {
        char reply[kReplyBufferSize];
        int replyLength = 0;
        if (ChangerTransactLocked(CMD_STATUS, nullptr, reply, &replyLength) != 0) {
            ++failures;
        }
        bytesOnLine += 6 + replyLength;  // the six-byte frame, then the reply
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // 10 bits per byte (start, 8 data, stop) at 9600 baud.
    double wireMsPerExchange = bytesOnLine * 10.0 / 9600.0 * 1000.0 / exchanges;
    double ourMsPerExchange = seconds * 1000.0 / exchanges;
    std::printf("link exchange benchmark (%s): %d status exchanges, %d failed\n", label, exchanges,
                failures);
    std::printf("%-34s %12s %14s %9s\n", "figure", "ours", "reference", "ratio");
    std::printf("%-34s %9.1f/s %11.1f/s %8.1fx\n", "exchanges per second", exchanges / seconds,
                1000.0 / wireMsPerExchange, wireMsPerExchange / ourMsPerExchange);
    std::printf("%-34s %9.3fms %11.3fms %8.2f%%\n", "cost per exchange vs 9600-baud line",
                ourMsPerExchange, wireMsPerExchange, 100.0 * ourMsPerExchange / wireMsPerExchange);
    return failures == 0 ? 0 : 1;
}
