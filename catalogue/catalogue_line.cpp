// The catalogue line finder: pure, over bytes.
#include "catalogue/catalogue_line.h"

#include <cstring>
#include <string>

#include "catalogue/catalogue_encoding.h"

namespace {

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

// The first line end (LF, CR LF or a lone CR) in [from, end), or end.
const char* FindLineEnd(const char* from, const char* end) {
    const char* p = from;
    while (p < end && *p != '\n' && *p != '\r') {
        ++p;
    }
    return p;
}

// Offset just past the (line - 1)th line end; size when the bytes end first.
size_t LineStart(const char* bytes, size_t size, int line) {
    const char* at = bytes;
    const char* end = bytes + size;
    for (int skipped = 0; skipped < line - 1; ++skipped) {
        at = FindLineEnd(at, end);
        if (at == end) {
            return size;
        }
        at += (at[0] == '\r' && at + 1 < end && at[1] == '\n') ? 2 : 1;
    }
    return static_cast<size_t>(at - bytes);
}

}  // namespace

void FindCatalogueLine(const char* fileBytes, size_t fileSize, int line, char* artistOut,
                       int artistCapacity, char* titleOut, int titleCapacity) {
    CopyField(nullptr, nullptr, artistOut, artistCapacity);
    CopyField(nullptr, nullptr, titleOut, titleCapacity);

    std::string converted;
    CatalogueText text = CatalogueBytesAsText(fileBytes, fileSize, &converted);
    const char* bytes = text.bytes;
    size_t size = text.size;

    size_t at = LineStart(bytes, size, line);
    if (at >= size) {
        return;
    }
    const char* data = bytes + at;
    size_t count = size - at < kCatalogueLineWindow ? size - at : kCatalogueLineWindow;

    // Fields never run past their own line: it ends at its first CR or LF.
    const char* lineBegin = data;
    const char* lineEnd = FindLineEnd(data, data + count);

    const char* tab = static_cast<const char*>(std::memchr(lineBegin, '\t', lineEnd - lineBegin));
    if (tab == nullptr) {
        CopyField(lineBegin, lineEnd, artistOut, artistCapacity);
        return;
    }
    CopyField(lineBegin, tab, artistOut, artistCapacity);
    CopyField(tab + 1, lineEnd, titleOut, titleCapacity);
}
