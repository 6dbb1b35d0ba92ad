// One line of the catalogue's bytes: the artist and title of a slot.
#pragma once

#include <cstddef>

// Only this many bytes of a line take part (a 200-byte buffer with its
// terminator); no field is longer.
const size_t kCatalogueLineWindow = 199;

// Finds line `line` (1-based; 1 or less is the first line) of size bytes:
// artist, TAB, title. Lines end at LF, CR LF or a lone CR; only a line's
// first 199 bytes take part. A UTF-8 byte-order mark is skipped and UTF-16
// text read as Windows-1252 (CatalogueBytesAsText). Double quotes are
// dropped and a NUL ends a field.
// Either output may be null; a given one always receives a terminated text
// of at most capacity - 1 bytes. A missing line gives two empty texts.
void FindCatalogueLine(const char* bytes, size_t size, int line, char* artistOut,
                       int artistCapacity, char* titleOut, int titleCapacity);
