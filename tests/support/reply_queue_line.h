// Base of the test serial lines that answer each write at once: records
// what is written and queues the answer for the reads that follow.
#pragma once

#include <deque>
#include <mutex>
#include <string>

#include "link/serial_line.h"

class ReplyQueueLine : public SerialLine {
public:
    std::string Written();

    int Write(const unsigned char* bytes, int count) override;
    bool ReadByte(unsigned char& byte) override;
    void LimitFirstByteWait(int) override {}  // answers at once, never waits
    void DiscardInput() override;

protected:
    // The bytes the changer sends back for these written bytes. Called
    // under the line's lock, one write at a time.
    virtual std::string Answer(const unsigned char* bytes, int count) = 0;

private:
    std::mutex mutex_;
    std::deque<unsigned char> input_;
    std::string written_;
};
