// The bytes a test serial line holds for its reads.
#pragma once

#include <deque>

// Takes the first queued byte into byte; false when none is queued.
inline bool TakeFront(std::deque<unsigned char>& input, unsigned char& byte) {
    if (input.empty()) {
        return false;
    }
    byte = input.front();
    input.pop_front();
    return true;
}
