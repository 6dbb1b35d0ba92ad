// Fuzz target: the catalogue line finder over arbitrary bytes, line numbers
// and output capacities, checked against the line rules.
//
// Input: line byte (signed: -128..127), artist capacity byte, title
// capacity byte (0xFF: no buffer given), then the catalogue's bytes.
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "catalogue/catalogue_edit.h"
#include "catalogue/catalogue_line.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const uint8_t kNoBuffer = 0xFF;

// A given output: terminated within its capacity, holding no line end or
// quote; the artist holds no TAB.
void CheckOutput(const char* out, int capacity, bool isTitle) {
    if (out == nullptr || capacity == 0) {
        return;
    }
    size_t length = strnlen(out, capacity);
    FUZZ_CHECK(length < static_cast<size_t>(capacity));
    std::string field(out, length);
    FUZZ_CHECK(field.find('\n') == std::string::npos);
    FUZZ_CHECK(field.find('"') == std::string::npos);
    FUZZ_CHECK(!isTitle || field.find('\r') == std::string::npos);
    FUZZ_CHECK(isTitle || field.find('\t') == std::string::npos);
}

// A buffer of exactly capacity bytes filled with a marker byte; none for
// kNoBuffer.
std::unique_ptr<char[]> Buffer(uint8_t capacityByte) {
    if (capacityByte == kNoBuffer) {
        return nullptr;
    }
    std::unique_ptr<char[]> buffer(new char[capacityByte]);
    std::memset(buffer.get(), 'Z', capacityByte);
    return buffer;
}

std::string Field(const std::unique_ptr<char[]>& buffer, int capacity) {
    return buffer && capacity > 0 ? std::string(buffer.get()) : std::string();
}

// Both fields of a line, whole.
std::pair<std::string, std::string> Line(const std::string& bytes, int line) {
    char artist[256];
    char title[256];
    FindCatalogueLine(bytes.data(), bytes.size(), line, artist, sizeof artist, title, sizeof title);
    return {artist, title};
}

// Naming one slot of any file: the reader finds the new names on that line
// (the title followed by what came after it) and every other line as before.
void CheckEdit(const std::string& bytes, int line) {
    const int slot = 1 + (line & 0x7F) % 100;
    const std::string artist = "Fz";
    const std::string title = "Zz";
    CatalogueEdit edit = EditCatalogueNames(bytes, slot, &artist, &title);
    FUZZ_CHECK(edit.error.empty());
    for (int other = 1; other <= slot + 2; ++other) {
        std::pair<std::string, std::string> after = Line(edit.bytes, other);
        if (other == slot) {
            FUZZ_CHECK(after.first == artist && after.second.compare(0, 2, title) == 0);
        } else {
            FUZZ_CHECK(after == Line(bytes, other));
        }
    }
}

// Whether a byte-order mark (UTF-8, UTF-16 either way) starts at at.
bool StartsWithMark(const std::string& bytes, size_t at) {
    return bytes.compare(at, 3, "\xEF\xBB\xBF") == 0 || bytes.compare(at, 2, "\xFF\xFE") == 0 ||
           bytes.compare(at, 2, "\xFE\xFF") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int line = static_cast<int8_t>(input.Byte());
    const uint8_t artistByte = input.Byte();
    const uint8_t titleByte = input.Byte();
    const std::string bytes = input.Rest();

    const int artistCapacity = artistByte == kNoBuffer ? 64 : artistByte;
    const int titleCapacity = titleByte == kNoBuffer ? 64 : titleByte;
    std::unique_ptr<char[]> artist = Buffer(artistByte);
    std::unique_ptr<char[]> title = Buffer(titleByte);
    FindCatalogueLine(bytes.data(), bytes.size(), line, artist.get(), artistCapacity, title.get(),
                      titleCapacity);
    CheckOutput(artist.get(), artistCapacity, false);
    CheckOutput(title.get(), titleCapacity, true);
    CheckEdit(bytes, line);

    // Line n is line 1 of what follows the (n - 1)th LF; nothing when the
    // bytes end first. Bytes with a CR (a line end of its own) or starting
    // with a byte-order mark (read as a whole) are left to the tables.
    if (bytes.find('\r') != std::string::npos || StartsWithMark(bytes, 0)) {
        return 0;
    }
    size_t at = 0;
    bool present = true;
    for (int skipped = 0; skipped < line - 1 && present; ++skipped) {
        size_t lf = bytes.find('\n', at);
        present = lf != std::string::npos;
        at = present ? lf + 1 : bytes.size();
    }
    if (StartsWithMark(bytes, at)) {
        return 0;
    }
    std::unique_ptr<char[]> artistAgain = Buffer(artistByte);
    std::unique_ptr<char[]> titleAgain = Buffer(titleByte);
    FindCatalogueLine(bytes.data() + at, bytes.size() - at, 1, artistAgain.get(), artistCapacity,
                      titleAgain.get(), titleCapacity);
    FUZZ_CHECK(Field(artist, artistCapacity) == Field(artistAgain, artistCapacity));
    FUZZ_CHECK(Field(title, titleCapacity) == Field(titleAgain, titleCapacity));
    return 0;
}
