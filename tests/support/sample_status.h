// A status record of a shuffle on disc 7, track 3, with the next entry
// disc 4 track 9, for the tests of the tools that show it.
#pragma once

#include "changer/status_poll.h"
#include "protocol/remote_records.h"

inline RemoteStatusRecord SampleShuffleStatus(const char* code, const char* text) {
    // Mode, code, text; disc, track, index; track and disc seconds;
    // autopause; playlist position and count; next disc and track; whether
    // the changer answers and since when.
    return {ModeShuffle, code, text, 7, 3, 1, 65, 750, 1, 2, 40, 4, 9, 1, 120};
}
