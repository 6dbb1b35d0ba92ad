// Which tracks are of a style: a track's own style, else its disc's, equal
// to the one asked for without regard to case (ASCII letters). An empty
// style is no style: it matches nothing, and asking for it selects nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One track of the magazine with the styles the store gives it.
struct StyledTrack {
    uint16_t disc = 0;  // slot 1..100
    uint16_t track = 0;
    std::string trackStyle;
    std::string discStyle;
};

// The style that counts for a track: its own when it has one, else its disc's.
const std::string& EffectiveStyle(const StyledTrack& track);

// Equal without regard to ASCII case.
bool SameStyle(const std::string& a, const std::string& b);

// The tracks whose effective style is style, in the order given.
std::vector<StyledTrack> SelectStyle(const std::vector<StyledTrack>& tracks,
                                     const std::string& style);
