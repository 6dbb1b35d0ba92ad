// Shared pieces of the fuzz targets.
#include "tests/fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "link/changer_link.h"
#include "platform/window_hooks_posix.h"
#include "tests/support/reset_state.h"

namespace {

std::string scratchDirectory;
int scratchFd = -1;
int startFd = -1;

void RemoveScratchDirectory() {
    std::string catalogue = scratchDirectory + "/zub.txt";
    unlink(catalogue.c_str());
    rmdir(scratchDirectory.c_str());
}

}  // namespace

void FuzzCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s at %s:%d\n", condition, file, line);
    if (startFd >= 0 && fchdir(startFd) != 0) {  // the crash input is written from there
        std::perror("start directory");
    }
    std::abort();
}

std::string FuzzInput::Take(size_t count) {
    size_t n = size_ - at_ < count ? size_ - at_ : count;
    std::string bytes(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return bytes;
}

std::string FuzzInput::Rest() {
    return Take(size_ - at_);
}

void ResetForInput() {
    ResetChangerState();
    ClearPlatformRecord();
}

std::vector<std::string> SplitAt(const std::string& bytes, char separator) {
    std::vector<std::string> parts;
    size_t begin = 0;
    for (;;) {
        size_t end = bytes.find(separator, begin);
        if (end == std::string::npos) {
            parts.push_back(bytes.substr(begin));
            return parts;
        }
        parts.push_back(bytes.substr(begin, end - begin));
        begin = end + 1;
    }
}

std::string StoredReply(const std::string& reply) {
    std::string stored = reply.substr(0, kMaxReplyBytes);
    size_t etx = stored.find(static_cast<char>(ETX));
    return etx == std::string::npos ? stored : stored.substr(0, etx + 1);
}

static bool IsDigit(char byte) {
    return byte >= '0' && byte <= '9';
}

int ExpectedResult(const std::string& reply) {
    std::string stored = StoredReply(reply);
    // Fewer than 49 bytes and no ETX: the line went silent.
    bool silent = stored.size() < static_cast<size_t>(kMaxReplyBytes) &&
                  stored.find(static_cast<char>(ETX)) == std::string::npos;
    if (silent || stored.size() < 7 || !IsDigit(stored[5]) || !IsDigit(stored[6])) {
        return kNoResult;
    }
    return (stored[5] - '0') * 10 + (stored[6] - '0');
}

std::vector<std::string> CheckedCommands(const std::string& written) {
    std::vector<std::string> commands;
    size_t at = 0;
    while (at < written.size()) {
        FUZZ_CHECK(written.size() - at >= 6);
        FUZZ_CHECK(written[at] == static_cast<char>(STX));
        FUZZ_CHECK(IsDigit(written[at + 1]) && IsDigit(written[at + 2]));
        size_t length = (written[at + 1] - '0') * 10 + (written[at + 2] - '0');
        FUZZ_CHECK(length >= 2 && written.size() - at >= length + 4);
        FUZZ_CHECK(written[at + 3 + length] == static_cast<char>(ETX));
        commands.push_back(written.substr(at + 3, length));
        at += length + 4;
    }
    return commands;
}

std::string SlotCommand(int command, int slot) {
    char text[16];
    std::snprintf(text, sizeof text, "%02dA%02d", command, slot == 100 ? 0 : slot);
    return text;
}

std::string TrackCommand(int command, int track) {
    char text[16];
    std::snprintf(text, sizeof text, "%02dA%02d", command, track);
    return text;
}

void PrepareScratchDirectory(const std::string* catalogue) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/zubfuzz.XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back(0);
    if (mkdtemp(path.data()) == nullptr) {
        std::perror("scratch directory");
        std::exit(1);
    }
    scratchDirectory = path.data();
    std::atexit(RemoveScratchDirectory);
    scratchFd = open(scratchDirectory.c_str(), O_RDONLY | O_DIRECTORY);
    startFd = open(".", O_RDONLY | O_DIRECTORY);
    if (scratchFd < 0 || startFd < 0) {
        std::perror("scratch directory");
        std::exit(1);
    }
    if (catalogue != nullptr) {
        std::string name = scratchDirectory + "/zub.txt";
        std::FILE* file = std::fopen(name.c_str(), "wb");
        if (file == nullptr ||
            std::fwrite(catalogue->data(), 1, catalogue->size(), file) != catalogue->size()) {
            std::perror("zub.txt");
            std::exit(1);
        }
        std::fclose(file);
    }
}

InScratchDirectory::InScratchDirectory() {
    if (fchdir(scratchFd) != 0) {
        std::perror("scratch directory");
        std::abort();
    }
}

InScratchDirectory::~InScratchDirectory() {
    if (fchdir(startFd) != 0) {
        std::perror("start directory");
        std::abort();
    }
}
