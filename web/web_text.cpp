// Windows-1252 or UTF-8 catalogue bytes to UTF-8.
#include "web/web_text.h"

#include <cstdint>

#include "remote/remote_protocol.h"

namespace {

// Windows-1252 0x80..0x9F; 0 where the code page defines no character.
const uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

// Length of the well-formed UTF-8 character at text[at], 0 when there is
// none there; sets *cut when the text ends inside an otherwise good one.
size_t Utf8CharLength(const std::string& text, size_t at, bool* cut) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000;
    } else {
        return 0;
    }
    uint32_t code = lead & (0x3F >> (length - 1));
    for (size_t k = 1; k < length; ++k) {
        if (at + k >= text.size()) {
            *cut = true;
            return 0;
        }
        unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (next & 0x3F);
    }
    bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return (code < minimum || code > 0x10FFFF || surrogate) ? 0 : length;
}

// The text as UTF-8 when it is UTF-8 (a last character cut off by a full
// field allowed); false otherwise.
bool TakeAsUtf8(const std::string& bytes, std::string* out) {
    std::string text;
    for (size_t at = 0; at < bytes.size();) {
        unsigned char byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            text += IsControl(byte) ? '?' : static_cast<char>(byte);
            ++at;
            continue;
        }
        bool cut = false;
        size_t length = Utf8CharLength(bytes, at, &cut);
        if (cut && bytes.size() >= static_cast<size_t>(kRemoteTextSize - 1)) {
            break;  // the start of a character the protocol's field cut off
        }
        if (length == 0) {
            return false;
        }
        text.append(bytes, at, length);
        at += length;
    }
    *out = text;
    return true;
}

}  // namespace

std::string CatalogueTextToUtf8(const std::string& bytes) {
    std::string out;
    if (TakeAsUtf8(bytes, &out)) {
        return out;
    }
    out.clear();
    for (unsigned char byte : bytes) {
        if (IsControl(byte)) {
            out += '?';
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (byte < 0xA0) {
            uint16_t code = kCp1252High[byte - 0x80];
            AppendUtf8(out, code != 0 ? code : '?');
        } else {
            AppendUtf8(out, byte);  // Windows-1252 agrees with Latin-1 here
        }
    }
    return out;
}
