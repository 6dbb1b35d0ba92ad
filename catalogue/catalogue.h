// Artist and title of a slot from the catalogue file "zub.txt".
#pragma once

#include <cstddef>

// What is read of a catalogue file at the most; a larger file is read as
// its first kCatalogueReadLimit bytes.
const size_t kCatalogueReadLimit = 1 << 20;

// The catalogue file's name, in the working folder.
const char kCatalogueFileName[] = "zub.txt";

// Reads line `line` (1-based; 1 or less reads the first line) of "zub.txt"
// in the working directory as FindCatalogueLine finds it. Either output may
// be null; a given one always receives a terminated text of at most
// capacity - 1 bytes. A missing file or line gives two empty texts.
void ReadCatalogue(int line, char* artistOut, int artistCapacity, char* titleOut,
                   int titleCapacity);

// The same from the catalogue file at path; the file is opened afresh on
// every call and only read.
void ReadCatalogueFrom(const char* path, int line, char* artistOut, int artistCapacity,
                       char* titleOut, int titleCapacity);
