// A serial line for tests: records what is written and answers each written
// frame with the next scripted reply. A read with nothing queued is a
// time-out, at once; it adds the wait a real line would have spent (10 s, or
// the link's cap) to a clock of its own.
#pragma once

#include <deque>
#include <mutex>
#include <string>

#include "link/serial_line.h"

class ScriptedLine : public SerialLine {
public:
    // Queues the reply the changer sends after the next frame it receives.
    void Reply(const std::string& bytes);
    // Writes fail (nothing is taken) while set; replies still come.
    void FailWrites(bool fail);

    std::string Written();  // every byte written so far
    int Discarded();        // bytes dropped by DiscardInput so far
    int Reads();            // read calls since the last write
    int Pending();          // bytes waiting to be read
    long WaitedMs();        // time the reads that found nothing would have taken

    int Write(const unsigned char* bytes, int count) override;
    bool ReadByte(unsigned char& byte) override;
    void LimitFirstByteWait(int limitMs) override;
    void DiscardInput() override;

private:
    std::mutex mutex_;
    std::deque<std::string> replies_;
    std::deque<unsigned char> input_;
    std::string written_;
    bool failWrites_ = false;
    int discarded_ = 0;
    int reads_ = 0;
    int limitMs_ = 0;
    long waitedMs_ = 0;
};
