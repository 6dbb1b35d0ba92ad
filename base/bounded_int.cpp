// Whole decimal numbers within bounds.
#include "base/bounded_int.h"

namespace {

// Longest piece of the offending text quoted in an error.
const size_t kQuotedLength = 24;

// The text as quoted in an error: printable ASCII only, cut when long.
std::string Quoted(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size() && i < kQuotedLength; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        shown += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '?';
    }
    if (text.size() > kQuotedLength) {
        shown += "...";
    }
    return shown;
}

}  // namespace

bool ParseBoundedInt(const std::string& text, const NumberBounds& bounds, int64_t* value,
                     std::string* error) {
    const std::string name = bounds.name[0] != 0 ? std::string(bounds.name) + ": " : "";
    if (text.empty()) {
        *error = name + "no number given";
        return false;
    }
    const bool negative = text[0] == '-';
    const size_t first = negative ? 1 : 0;
    if (first == text.size() || text.find_first_not_of("0123456789", first) != std::string::npos) {
        *error = name + "\"" + Quoted(text) + "\" is not a whole number";
        return false;
    }
    // Past 2^63 the magnitude stops counting (at 2^63 + 1): any number of
    // digits is read without overflow and still reported as above or below.
    const uint64_t kHuge = uint64_t(1) << 63;
    uint64_t magnitude = 0;
    for (size_t at = first; at < text.size(); ++at) {
        if (magnitude > kHuge / 10) {
            magnitude = kHuge + 1;
            break;
        }
        magnitude = magnitude * 10 + uint64_t(text[at] - '0');
    }
    bool below = false;
    bool above = false;
    int64_t number = 0;
    if (negative) {
        below = magnitude > kHuge;
        number = below ? 0 : int64_t(uint64_t(0) - magnitude);  // -2^63 itself fits
    } else {
        above = magnitude >= kHuge;
        number = above ? 0 : int64_t(magnitude);
    }
    below = below || (!above && number < bounds.smallest);
    above = above || (!below && number > bounds.largest);
    if (below) {
        *error = name + Quoted(text) + " is below the smallest " + bounds.what + ", " +
                 std::to_string(bounds.smallest);
        return false;
    }
    if (above) {
        *error = name + Quoted(text) + " is above the largest " + bounds.what + ", " +
                 std::to_string(bounds.largest);
        return false;
    }
    *value = number;
    return true;
}
