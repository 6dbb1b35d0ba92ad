// A serial line for tests that answers every frame at once from an
// in-process simulated changer (no pty, no threads, no clock).
#pragma once

#include <deque>
#include <mutex>
#include <string>

#include "link/serial_line.h"
#include "tools/changer-sim/sim_changer.h"
#include "tools/changer-sim/sim_frame.h"

class SimLine : public SerialLine {
public:
    explicit SimLine(SimMagazine magazine) : changer_(std::move(magazine)) {}

    // The changer behind the line; change its magazine between exchanges.
    SimChanger& Changer() { return changer_; }
    std::string Written();

    int Write(const unsigned char* bytes, int count) override;
    bool ReadByte(unsigned char& byte) override;
    void DiscardInput() override;

private:
    std::mutex mutex_;
    SimChanger changer_;
    SimFrameParser parser_;
    std::deque<unsigned char> input_;
    std::string written_;
};
