// The catalogue's bytes as the program's 8-bit text, whichever way an
// editor saved them.
#pragma once

#include <cstddef>
#include <string>

// The text of a catalogue file's bytes: after a UTF-8 byte-order mark, the
// bytes that follow it unchanged; after a UTF-16 mark (little- or
// big-endian), the UTF-16 text converted to Windows-1252 in storage, each
// character that has no byte there (and each broken surrogate) as '?';
// without a mark, the bytes as they are.
struct CatalogueText {
    const char* bytes;
    size_t size;
};
CatalogueText CatalogueBytesAsText(const char* bytes, size_t size, std::string* storage);
