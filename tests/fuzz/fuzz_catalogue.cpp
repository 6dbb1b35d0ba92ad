// Fuzz target: the catalogue reader over arbitrary file contents, line
// numbers and output capacities, checked against the line rules.
//
// Input: line byte (signed: -128..127), artist capacity byte, title
// capacity byte (0xFF: no buffer given), then the file contents.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const size_t kLineWindow = 199;
const uint8_t kNoBuffer = 0xFF;

int fileDescriptor = -1;
char filePath[64];

// One field as the reader must return it: up to a NUL, quotes dropped, cut
// to capacity - 1 bytes.
std::string ExpectedField(const std::string& raw, int capacity) {
    std::string field;
    for (char byte : raw) {
        if (byte == '\0') {
            break;
        }
        if (byte != '"') {
            field.push_back(byte);
        }
    }
    return field.substr(0, capacity - 1);
}

// Artist and title of line `line` of contents, before the field rules.
void ExpectedRawFields(const std::string& contents, int line, std::string& artist,
                       std::string& title) {
    artist.clear();
    title.clear();
    size_t at = 0;
    for (int skipped = 0; skipped < line - 1; ++skipped) {
        size_t lf = contents.find('\n', at);
        if (lf == std::string::npos) {
            return;
        }
        at = lf + 1;
    }
    std::string window = contents.substr(at, kLineWindow);
    size_t end = window.find('\n');
    if (end == std::string::npos) {
        end = window.size();
    }
    if (end > 0 && window[end - 1] == '\r') {
        --end;
    }
    std::string text = window.substr(0, end);
    size_t tab = text.find('\t');
    if (tab == std::string::npos) {
        artist = text;
        return;
    }
    artist = text.substr(0, tab);
    title = text.substr(tab + 1);
    title = title.substr(0, title.find('\r'));
}

// A given output: terminated within its capacity, equal to the expected
// field, and holding no line end or quote.
void CheckOutput(const char* out, int capacity, const std::string& expected, bool isTitle) {
    if (out == nullptr || capacity == 0) {
        return;
    }
    size_t length = strnlen(out, capacity);
    FUZZ_CHECK(length < static_cast<size_t>(capacity));
    std::string field(out, length);
    FUZZ_CHECK(field == expected);
    FUZZ_CHECK(field.find('\n') == std::string::npos);
    FUZZ_CHECK(field.find('"') == std::string::npos);
    FUZZ_CHECK(!isTitle || field.find('\r') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The contents live in memory; the reader opens them by path afresh.
    fileDescriptor = memfd_create("zub.txt", 0);
    if (fileDescriptor < 0) {
        std::perror("memfd_create");
        std::exit(1);
    }
    std::snprintf(filePath, sizeof filePath, "/proc/self/fd/%d", fileDescriptor);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int line = static_cast<int8_t>(input.Byte());
    const uint8_t artistByte = input.Byte();
    const uint8_t titleByte = input.Byte();
    const std::string contents = input.Rest();
    if (ftruncate(fileDescriptor, 0) != 0 ||
        pwrite(fileDescriptor, contents.data(), contents.size(), 0) !=
            static_cast<ssize_t>(contents.size())) {
        std::perror("catalogue contents");
        std::abort();
    }

    // Buffers of exactly the given capacity, filled with a marker byte.
    const int artistCapacity = artistByte == kNoBuffer ? 64 : artistByte;
    const int titleCapacity = titleByte == kNoBuffer ? 64 : titleByte;
    std::unique_ptr<char[]> artist(artistByte == kNoBuffer ? nullptr : new char[artistByte]);
    std::unique_ptr<char[]> title(titleByte == kNoBuffer ? nullptr : new char[titleByte]);
    if (artist) {
        std::memset(artist.get(), 'Z', artistCapacity);
    }
    if (title) {
        std::memset(title.get(), 'Z', titleCapacity);
    }

    ReadCatalogueFrom(filePath, line, artist.get(), artistCapacity, title.get(), titleCapacity);

    std::string rawArtist, rawTitle;
    ExpectedRawFields(contents, line, rawArtist, rawTitle);
    CheckOutput(artist.get(), artistCapacity, ExpectedField(rawArtist, artistCapacity), false);
    CheckOutput(title.get(), titleCapacity, ExpectedField(rawTitle, titleCapacity), true);
    return 0;
}
