// The native rounding multiply-divide, as kernel32's computes it.
#include "platform/mul_div.h"

#include <cstdint>

int MulDiv(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    int64_t product = static_cast<int64_t>(a) * b;
    bool negative = (product < 0) != (c < 0);
    uint64_t magnitude = product < 0 ? 0 - static_cast<uint64_t>(product) : product;
    uint64_t divisor = c < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(c)) : c;
    uint64_t quotient = (magnitude + divisor / 2) / divisor;
    if (negative) {
        return quotient <= uint64_t{1} << 31 ? static_cast<int>(0 - static_cast<int64_t>(quotient))
                                             : -1;
    }
    return quotient <= static_cast<uint64_t>(INT32_MAX) ? static_cast<int>(quotient) : -1;
}
