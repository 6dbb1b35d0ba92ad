// The catalogue line finder: pure, over bytes.
#include "catalogue/catalogue_line.h"

#include <cstring>

namespace {

// Only this many bytes of a line take part (a 200-byte buffer with its
// terminator).
const size_t kLineWindow = 199;

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

// Offset just past the (line - 1)th LF; size when the bytes end first.
size_t LineStart(const char* bytes, size_t size, int line) {
    size_t at = 0;
    for (int skipped = 0; skipped < line - 1; ++skipped) {
        if (at >= size) {
            return size;
        }
        const void* lf = std::memchr(bytes + at, '\n', size - at);
        if (lf == nullptr) {
            return size;
        }
        at = static_cast<size_t>(static_cast<const char*>(lf) - bytes) + 1;
    }
    return at;
}

}  // namespace

void FindCatalogueLine(const char* bytes, size_t size, int line, char* artistOut,
                       int artistCapacity, char* titleOut, int titleCapacity) {
    CopyField(nullptr, nullptr, artistOut, artistCapacity);
    CopyField(nullptr, nullptr, titleOut, titleCapacity);

    size_t at = LineStart(bytes, size, line);
    if (at >= size) {
        return;
    }
    const char* data = bytes + at;
    size_t count = size - at < kLineWindow ? size - at : kLineWindow;

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
