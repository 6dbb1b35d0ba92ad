// Reads one line of the catalogue file: the artist and title of a slot.
#include "catalogue/catalogue.h"

#include <cstdio>
#include <cstring>

namespace {

// Only this many bytes of a line take part (a 200-byte buffer with its
// terminator).
const int kLineWindow = 199;

// Copies a field into out, dropping every double quote; a NUL ends the
// field and the copy stops at capacity - 1 bytes.
void CopyField(const char* begin, const char* end, char* out, int capacity) {
    if (out == nullptr || capacity <= 0) {
        return;
    }
    int length = 0;
    for (const char* p = begin; p < end && *p != '\0' && length < capacity - 1; ++p) {
        if (*p != '"') {
            out[length++] = *p;
        }
    }
    out[length] = '\0';
}

// Moves past line - 1 LF bytes; false when the file ends first.
bool SkipLines(std::FILE* file, int line) {
    for (int skipped = 0; skipped < line - 1;) {
        int byte = std::getc(file);
        if (byte == EOF) {
            return false;
        }
        if (byte == '\n') {
            ++skipped;
        }
    }
    return true;
}

}  // namespace

void ReadCatalogueFrom(const char* path, int line, char* artistOut, int artistCapacity,
                       char* titleOut, int titleCapacity) {
    CopyField(nullptr, nullptr, artistOut, artistCapacity);
    CopyField(nullptr, nullptr, titleOut, titleCapacity);

    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return;
    }
    char data[kLineWindow];
    size_t count = 0;
    if (SkipLines(file, line)) {
        count = std::fread(data, 1, sizeof data, file);
    }
    std::fclose(file);
    if (count == 0) {
        return;
    }

    // Fields never run past their own line: it ends at the first LF, and a
    // CR right before that is the line end, not text.
    const char* lineBegin = data;
    const char* lineEnd = static_cast<const char*>(std::memchr(data, '\n', count));
    if (lineEnd == nullptr) {
        lineEnd = data + count;
    }
    if (lineEnd > lineBegin && lineEnd[-1] == '\r') {
        --lineEnd;
    }

    const char* tab = static_cast<const char*>(std::memchr(lineBegin, '\t', lineEnd - lineBegin));
    if (tab == nullptr) {
        CopyField(lineBegin, lineEnd, artistOut, artistCapacity);
        return;
    }
    CopyField(lineBegin, tab, artistOut, artistCapacity);

    // The title ends at the first CR after the TAB.
    const char* titleBegin = tab + 1;
    const char* titleEnd =
        static_cast<const char*>(std::memchr(titleBegin, '\r', lineEnd - titleBegin));
    CopyField(titleBegin, titleEnd != nullptr ? titleEnd : lineEnd, titleOut, titleCapacity);
}

void ReadCatalogue(int line, char* artistOut, int artistCapacity, char* titleOut,
                   int titleCapacity) {
    ReadCatalogueFrom("zub.txt", line, artistOut, artistCapacity, titleOut, titleCapacity);
}
