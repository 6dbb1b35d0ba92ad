// Minutes-and-seconds values: parsing the changer's MMSS digits, display, difference.
#include "changer/min_sec.h"

#include <cstdio>

#include "link/changer_link.h"

// Each field wraps at 256.
void MinSec::Parse(const char* text) {
    bMinutes = static_cast<uint8_t>(DecimalField(text));
    bSeconds = static_cast<uint8_t>(DecimalField(text + 2));
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
