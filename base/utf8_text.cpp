// A strict UTF-8 decoder and the encoder.
#include "base/utf8_text.h"

namespace {

// The length of the sequence a lead byte starts and the bits it carries;
// 0 for a byte that starts no sequence.
int SequenceLength(unsigned char lead, uint32_t* bits) {
    if (lead < 0x80) {
        *bits = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        *bits = lead & 0x1F;
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        *bits = lead & 0x0F;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        *bits = lead & 0x07;
        return 4;
    }
    return 0;
}

// The smallest code point a sequence of each length may carry.
const uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};

}  // namespace

bool DecodeUtf8(const std::string& text, std::vector<uint32_t>* points) {
    std::vector<uint32_t> decoded;
    size_t i = 0;
    while (i < text.size()) {
        uint32_t point = 0;
        int length = SequenceLength(static_cast<unsigned char>(text[i]), &point);
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = point << 6 | (next & 0x3F);
        }
        if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        decoded.push_back(point);
        i += length;
    }
    *points = decoded;
    return true;
}

void AppendUtf8(uint32_t point, std::string* out) {
    if (point < 0x80) {
        *out += static_cast<char>(point);
    } else if (point < 0x800) {
        *out += static_cast<char>(0xC0 | point >> 6);
        *out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *out += static_cast<char>(0xE0 | point >> 12);
        *out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | point >> 18);
        *out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        *out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    }
}
