// A serial line that answers every frame at once, as a busy changer would:
// status requests with "PT" for slot 4, every third one with "PL" past the
// end of slot 9's three tracks; every other command with result 00.
#pragma once

#include <deque>
#include <mutex>
#include <string>

#include "link/serial_line.h"

class AnsweringLine : public SerialLine {
public:
    int Write(const unsigned char* bytes, int count) override;
    bool ReadByte(unsigned char& byte) override;
    void DiscardInput() override;
    std::string Written();

private:
    std::mutex mutex_;
    std::deque<unsigned char> input_;
    std::string written_;
    int polls_ = 0;
};
