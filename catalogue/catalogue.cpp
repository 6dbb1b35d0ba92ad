// Reads the catalogue file and finds one line in its bytes.
#include "catalogue/catalogue.h"

#include <cstdio>
#include <string>

#include "catalogue/catalogue_line.h"

namespace {

// At most kCatalogueReadLimit bytes of the file at path; empty when it
// cannot be opened.
std::string ReadCatalogueBytes(const char* path) {
    std::string bytes;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return bytes;
    }
    char chunk[4096];
    while (bytes.size() < kCatalogueReadLimit) {
        size_t want = kCatalogueReadLimit - bytes.size();
        size_t got = std::fread(chunk, 1, want < sizeof chunk ? want : sizeof chunk, file);
        if (got == 0) {
            break;
        }
        bytes.append(chunk, got);
    }
    std::fclose(file);
    return bytes;
}

}  // namespace

void ReadCatalogueFrom(const char* path, int line, char* artistOut, int artistCapacity,
                       char* titleOut, int titleCapacity) {
    std::string bytes = ReadCatalogueBytes(path);
    FindCatalogueLine(bytes.data(), bytes.size(), line, artistOut, artistCapacity, titleOut,
                      titleCapacity);
}

void ReadCatalogue(int line, char* artistOut, int artistCapacity, char* titleOut,
                   int titleCapacity) {
    ReadCatalogueFrom(kCatalogueFileName, line, artistOut, artistCapacity, titleOut, titleCapacity);
}
