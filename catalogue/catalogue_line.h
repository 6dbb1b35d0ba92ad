// One line of the catalogue's bytes: the artist and title of a slot.
#pragma once

#include <cstddef>

// Finds line `line` (1-based; 1 or less is the first line) of size bytes:
// artist, TAB, title. Only the line's first 199 bytes take part; it ends at
// its LF, a CR right before that is no text, and the title also ends at the
// first CR after the TAB. Double quotes are dropped and a NUL ends a field.
// Either output may be null; a given one always receives a terminated text
// of at most capacity - 1 bytes. A missing line gives two empty texts.
void FindCatalogueLine(const char* bytes, size_t size, int line, char* artistOut,
                       int artistCapacity, char* titleOut, int titleCapacity);
