// Selecting the tracks of one style.
#include "changer/style_select.h"

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

const std::string& EffectiveStyle(const StyledTrack& track) {
    return track.trackStyle.empty() ? track.discStyle : track.trackStyle;
}

bool SameStyle(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::vector<StyledTrack> SelectStyle(const std::vector<StyledTrack>& tracks,
                                     const std::string& style) {
    std::vector<StyledTrack> selected;
    if (style.empty()) {
        return selected;
    }
    for (const StyledTrack& track : tracks) {
        if (SameStyle(EffectiveStyle(track), style)) {
            selected.push_back(track);
        }
    }
    return selected;
}
