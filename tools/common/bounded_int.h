// The one reader of whole decimal numbers on command lines and in the
// simulator's files and commands: bounds and a message that names the
// problem.
#pragma once

#include <cstdint>
#include <string>

// Reads text as a whole decimal number (an optional '-', then digits and
// nothing else) from smallest to largest. On failure returns false with a
// one-line error naming the problem in terms of what, e.g. with "factor":
// "100001 is above the largest factor, 1000". Callers put the option or
// field in front ("--speed: ...").
bool ParseBoundedInt(const std::string& text, int64_t smallest, int64_t largest, const char* what,
                     int64_t* value, std::string* error);
