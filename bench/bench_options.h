// The benchmarks' command lines: pairs of "--name number", each number
// within its bounds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/bounded_int.h"

// One option: its name and bounds, and the number it sets.
struct BenchOption {
    NumberBounds bounds;
    int* value;
};

// Sets the options argv names. An unknown option or one without its number
// returns false; a number out of bounds also says why on stderr, after the
// program's name.
template <size_t N>
bool ParseBenchOptions(int argc, char** argv, const BenchOption (&options)[N],
                       const char* program) {
    for (int i = 1; i < argc; i += 2) {
        const BenchOption* option = std::find_if(options, options + N, [&](const BenchOption& o) {
            return std::strcmp(argv[i], o.bounds.name) == 0;
        });
        if (option == options + N || i + 1 >= argc) {
            return false;
        }
        int64_t value = 0;
        std::string error;
        if (!ParseBoundedInt(argv[i + 1], option->bounds, &value, &error)) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            return false;
        }
        *option->value = static_cast<int>(value);
    }
    return true;
}
