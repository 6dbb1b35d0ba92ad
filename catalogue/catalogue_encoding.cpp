// Byte-order marks and UTF-16 in the catalogue.
#include "catalogue/catalogue_encoding.h"

#include <cstdint>

#include "base/display_text.h"

namespace {

bool StartsWith(const char* bytes, size_t size, const char* mark, size_t markSize) {
    if (size < markSize) {
        return false;
    }
    for (size_t i = 0; i < markSize; ++i) {
        if (bytes[i] != mark[i]) {
            return false;
        }
    }
    return true;
}

// Windows-1252 text of UTF-16 code units (after the mark); an odd last
// byte is dropped.
std::string Utf16ToCp1252(const unsigned char* units, size_t size, bool bigEndian) {
    std::string out;
    out.reserve(size / 2);
    size_t count = size / 2;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* unit = units + 2 * i;
        uint32_t value = bigEndian ? (unit[0] << 8 | unit[1]) : (unit[1] << 8 | unit[0]);
        if (value >= 0xD800 && value <= 0xDBFF && i + 1 < count) {
            const unsigned char* low = unit + 2;
            uint32_t next = bigEndian ? (low[0] << 8 | low[1]) : (low[1] << 8 | low[0]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                ++i;  // a pair: one character beyond Windows-1252
            }
            out += '?';
            continue;
        }
        out += Cp1252ByteOf(value);  // a lone surrogate has no byte either
    }
    return out;
}

}  // namespace

CatalogueText CatalogueBytesAsText(const char* bytes, size_t size, std::string* storage) {
    if (StartsWith(bytes, size, "\xEF\xBB\xBF", 3)) {
        return {bytes + 3, size - 3};
    }
    bool little = StartsWith(bytes, size, "\xFF\xFE", 2);
    bool big = StartsWith(bytes, size, "\xFE\xFF", 2);
    if (!little && !big) {
        return {bytes, size};
    }
    *storage = Utf16ToCp1252(reinterpret_cast<const unsigned char*>(bytes) + 2, size - 2, big);
    return {storage->data(), storage->size()};
}
