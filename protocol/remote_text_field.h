// The fixed-size text fields of the remote records: a text, NUL-terminated
// when shorter than its field, then zeros.
#pragma once

#include <cstring>
#include <string>

// Writes text into a zeroed field of size bytes, cut to leave a NUL.
inline void WriteRemoteText(unsigned char* field, int size, const std::string& text) {
    std::memset(field, 0, size);
    size_t length = text.size() < static_cast<size_t>(size - 1) ? text.size() : size - 1;
    std::memcpy(field, text.data(), length);
}

// The text of a field: up to its first NUL, or the whole field.
inline std::string ReadRemoteText(const unsigned char* field, int size) {
    int length = 0;
    while (length < size && field[length] != 0) {
        ++length;
    }
    return std::string(reinterpret_cast<const char*>(field), length);
}
