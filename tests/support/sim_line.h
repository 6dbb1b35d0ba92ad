// A serial line for tests that answers every frame at once from an
// in-process simulated changer (no pty, no threads, no clock).
#pragma once

#include <string>

#include "tests/support/reply_queue_line.h"
#include "tools/changer-sim/sim_changer.h"
#include "tools/changer-sim/sim_frame.h"

class SimLine : public ReplyQueueLine {
public:
    explicit SimLine(SimMagazine magazine) : changer_(std::move(magazine)) {}

    // The changer behind the line; change its magazine between exchanges.
    SimChanger& Changer() { return changer_; }

protected:
    std::string Answer(const unsigned char* bytes, int count) override;

private:
    SimChanger changer_;
    SimFrameParser parser_;
};
