// Code-page reading and terminal-safe text.
#include "base/display_text.h"

#include <cstdint>

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
const uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88..8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98..9F
};

// Length of the valid UTF-8 sequence at bytes[at], with its code point;
// 0 when none starts there (overlong forms, surrogates and values past
// U+10FFFF are not valid).
size_t Utf8SequenceAt(const std::string& bytes, size_t at, uint32_t* codePoint) {
    unsigned char lead = static_cast<unsigned char>(bytes[at]);
    size_t length;
    uint32_t value;
    uint32_t smallest;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() - at < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(bytes[at + i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        value = value << 6 | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *codePoint = value;
    return length;
}

void AppendUtf8(uint32_t codePoint, std::string* out) {
    if (codePoint < 0x80) {
        *out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        *out += static_cast<char>(0xC0 | codePoint >> 6);
        *out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | codePoint >> 12);
        *out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

uint32_t Cp1252CodePoint(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F && kCp1252High[byte - 0x80] != 0) {
        return kCp1252High[byte - 0x80];
    }
    return byte;  // ASCII, Latin-1 above 0x9F, and the unassigned bytes
}

bool IsControl(uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

}  // namespace

std::string CatalogueTextToUtf8(const std::string& bytes) {
    std::string out;
    for (size_t at = 0; at < bytes.size();) {
        uint32_t codePoint = 0;
        size_t length = Utf8SequenceAt(bytes, at, &codePoint);
        if (length > 0) {
            out.append(bytes, at, length);
            at += length;
        } else {
            AppendUtf8(Cp1252CodePoint(static_cast<unsigned char>(bytes[at])), &out);
            ++at;
        }
    }
    return out;
}

std::string Utf8TextToCp1252(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        uint32_t codePoint = 0;
        size_t length = Utf8SequenceAt(text, at, &codePoint);
        if (length > 0) {
            out += Cp1252ByteOf(codePoint);
            at += length;
        } else {
            out += text[at];
            ++at;
        }
    }
    return out;
}

std::string TerminalSafeText(const std::string& utf8) {
    std::string out;
    for (size_t at = 0; at < utf8.size();) {
        uint32_t codePoint = 0;
        size_t length = Utf8SequenceAt(utf8, at, &codePoint);
        if (length == 0 || IsControl(codePoint)) {
            out += '?';
            at += length > 0 ? length : 1;
        } else {
            out.append(utf8, at, length);
            at += length;
        }
    }
    return out;
}

char Cp1252ByteOf(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<char>(codePoint);
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] != 0 && kCp1252High[i] == codePoint) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

std::string CutTextAtCharacter(const std::string& text, size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    size_t at = 0;
    for (;;) {
        uint32_t codePoint = 0;
        size_t length = Utf8SequenceAt(text, at, &codePoint);
        if (length == 0) {
            return text.substr(0, limit);  // not UTF-8 before the cut
        }
        if (at + length > limit) {
            return text.substr(0, at);  // the cut falls inside this character
        }
        at += length;
    }
}
