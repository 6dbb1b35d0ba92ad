// The one reader of whole decimal numbers on command lines and in the
// simulator's files and commands: bounds and a message that names the
// problem.
#pragma once

#include <cstdint>
#include <string>

// What a number may be, and the words an error uses for it.
struct NumberBounds {
    const char* name;  // the option or field ("--speed"), or "" for none
    int64_t smallest;
    int64_t largest;
    const char* what;  // the noun of the bounds ("factor")
};

// Reads text as a whole decimal number (an optional '-', then digits and
// nothing else) within the bounds. On failure returns false with a one-line
// error that names the option and the problem:
// "--speed: 100001 is above the largest factor, 1000".
bool ParseBoundedInt(const std::string& text, const NumberBounds& bounds, int64_t* value,
                     std::string* error);
