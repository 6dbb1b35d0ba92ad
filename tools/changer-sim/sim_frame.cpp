// Command frame parser and reply frame builder of the simulated changer.
#include "tools/changer-sim/sim_frame.h"

#include <cstdio>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int TwoDigits(const std::string& text, size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

}  // namespace

bool SimFrameParser::Feed(unsigned char byte, SimCommandFrame& frame) {
    if (byte == kSimStx) {
        bool partial = state_ == InFrame;
        if (partial) {
            frame = SimCommandFrame();
            frame.bad = true;
            frame.raw = raw_;
        }
        state_ = InFrame;
        raw_.assign(1, static_cast<char>(byte));
        return partial;
    }
    if (state_ != InFrame) {
        ++skipped_;
        return false;
    }
    raw_.push_back(static_cast<char>(byte));
    if (byte == kSimEtx) {
        Finish(frame);
        state_ = Hunting;
        return true;
    }
    if (static_cast<int>(raw_.size()) >= kSimMaxFrameBytes) {
        frame = SimCommandFrame();
        frame.bad = true;
        frame.raw = raw_;
        state_ = Discarding;
        return true;
    }
    return false;
}

void SimFrameParser::Finish(SimCommandFrame& frame) {
    frame = SimCommandFrame();
    frame.raw = raw_;
    frame.bad = true;
    // STX LL CC ... ETX: at least six bytes.
    if (raw_.size() < 6 || !IsDigit(raw_[1]) || !IsDigit(raw_[2]) || !IsDigit(raw_[3]) ||
        !IsDigit(raw_[4])) {
        return;
    }
    int length = TwoDigits(raw_, 1);
    if (length != static_cast<int>(raw_.size()) - 4) {
        return;
    }
    frame.bad = false;
    frame.command = TwoDigits(raw_, 3);
    frame.argument = raw_.substr(5, raw_.size() - 6);
}

std::string BuildSimReply(int command, int result, const std::string& payload) {
    char header[16];
    std::snprintf(header, sizeof header, "%02d%02d%02d",
                  static_cast<int>((4 + payload.size()) % 100), command % 100, result % 100);
    std::string reply(1, static_cast<char>(kSimStx));
    reply += header;
    reply += payload;
    reply.push_back(static_cast<char>(kSimEtx));
    return reply;
}

std::string SimCommandName(int command) {
    switch (command) {
        case 1:
            return "LOAD";
        case 2:
            return "STOP";
        case 3:
            return "UNLOAD";
        case 4:
            return "TRACK";
        case 7:
            return "AUTOPAUSE_ON";
        case 8:
            return "AUTOPAUSE_OFF";
        case 9:
            return "PAUSE";
        case 10:
            return "PLAY";
        case 13:
            return "DISC_ID";
        case 15:
            return "TOC";
        case 16:
            return "STATUS";
        case 17:
            return "TRACK_INFO";
    }
    char name[16];
    std::snprintf(name, sizeof name, "CMD%02d", command);
    return name;
}
