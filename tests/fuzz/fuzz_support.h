// Shared pieces of the fuzz targets: reading the input, resetting the
// process-wide state, the reply and frame rules the checks rely on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Aborts with the failed condition, so that the fuzzer keeps the input.
#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : FuzzCheckFailed(#condition, __FILE__, __LINE__))

[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line);

// Takes the input from the front: single bytes, then the rest.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // The next byte, or 0 once the input is used up.
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // Up to count further bytes.
    std::string Take(size_t count);
    // Everything not taken yet.
    std::string Rest();

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Fresh changer state (empty table and playlist, zero status values, no
// line) and an empty record of the platform hooks.
void ResetForInput();

// Splits bytes at every separator; n separators give n + 1 parts.
std::vector<std::string> SplitAt(const std::string& bytes, char separator);

// What an exchange keeps of a reply queued whole: the bytes up to and
// including the first ETX, at most 49 of them.
std::string StoredReply(const std::string& reply);

// The result an exchange gives for that reply (kNoResult or 0..99).
int ExpectedResult(const std::string& reply);

// The commands in what went out on the line ("01A05", "16"); every byte
// must belong to a well-formed frame whose length field is right.
std::vector<std::string> CheckedCommands(const std::string& written);

// A command with its "A%.2d" slot argument (slot 100 as A00).
std::string SlotCommand(int command, int slot);
// A command with its "A%.2d" track argument.
std::string TrackCommand(int command, int track);

// A fresh directory for the targets whose code opens "zub.txt" by its
// relative name; with catalogue given, it is written there as "zub.txt".
// Made once (from LLVMFuzzerInitialize) and removed at exit.
void PrepareScratchDirectory(const std::string* catalogue);

// Makes the scratch directory the working directory while one input runs,
// so that the fuzzer's own paths (corpus, merge, the program itself) stay
// relative to where it was started.
class InScratchDirectory {
public:
    InScratchDirectory();
    ~InScratchDirectory();
    InScratchDirectory(const InScratchDirectory&) = delete;
    InScratchDirectory& operator=(const InScratchDirectory&) = delete;
};
