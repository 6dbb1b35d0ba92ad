// A minutes-and-seconds time as the changer reports it (MMSS digits).
#pragma once

#include <cstdint>

class MinSec {
public:
    uint8_t bMinutes = 0;
    uint8_t bSeconds = 0;

    // Sets the value from the first four bytes of text, minutes first. The
    // bytes are taken as digits without checking; each field wraps at 256.
    void Parse(const char* text);

    // Writes "%d:%.2d" into output (at least 8 bytes).
    void Format(char* output) const;

    // Subtracts other in place, borrowing 60 seconds once; wraps at 256.
    void Subtract(const MinSec& other);
};
