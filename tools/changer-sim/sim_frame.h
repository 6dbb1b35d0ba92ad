// Command frames as the simulated changer receives them, and its reply frames.
#pragma once

#include <string>

const unsigned char kSimStx = 0x02;
const unsigned char kSimEtx = 0x03;
const int kSimMaxFrameBytes = 60;  // a frame not ended by then is given up

struct SimCommandFrame {
    bool bad = false;      // malformed: logged, never answered
    int command = -1;      // two-digit code; -1 when bad
    std::string argument;  // the argument, empty when bad
    std::string raw;       // every byte from STX on, as received
};

// Splits a byte stream into command frames: STX, LL, CC, argument, ETX.
// Bytes before an STX are skipped. A frame is bad when LL or CC are not
// digits, LL does not match the bytes between it and ETX, or no ETX came
// within kSimMaxFrameBytes (the rest up to the next STX is skipped). An STX
// inside a frame gives up the partial frame as bad and starts a new one.
class SimFrameParser {
public:
    // Takes one byte; true when it completed a frame (good or bad), which
    // is then in frame.
    bool Feed(unsigned char byte, SimCommandFrame& frame);

    // Bytes skipped outside any frame so far.
    long Skipped() const { return skipped_; }

private:
    void Finish(SimCommandFrame& frame);

    enum State { Hunting, InFrame, Discarding };
    State state_ = Hunting;
    std::string raw_;
    long skipped_ = 0;
};

// Reply frame: STX, LL (4 + payload length), CC, RR, payload, ETX.
std::string BuildSimReply(int command, int result, const std::string& payload);

// Name of a command code for logs: "LOAD", "STATUS", ... or "CMDnn".
std::string SimCommandName(int command);
