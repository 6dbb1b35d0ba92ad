// Minutes-and-seconds values: parsing the changer's MMSS digits, display, difference.
#include "changer/min_sec.h"

#include <cstdio>

// Two bytes taken as decimal digits without checking; the sum wraps at 256.
static uint8_t TwoDigits(const char* text) {
    return static_cast<uint8_t>((text[0] - '0') * 10 + (text[1] - '0'));
}

void MinSec::Parse(const char* text) {
    bMinutes = TwoDigits(text);
    bSeconds = TwoDigits(text + 2);
}

void MinSec::Format(char* output) const {
    // At most "255:255" plus the terminator.
    std::snprintf(output, 8, "%d:%.2d", bMinutes, bSeconds);
}

void MinSec::Subtract(const MinSec& other) {
    if (other.bSeconds > bSeconds) {
        bMinutes = static_cast<uint8_t>(bMinutes - 1);
        bSeconds = static_cast<uint8_t>(bSeconds + 60);
    }
    bMinutes = static_cast<uint8_t>(bMinutes - other.bMinutes);
    bSeconds = static_cast<uint8_t>(bSeconds - other.bSeconds);
}
