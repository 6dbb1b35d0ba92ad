// In-process simulated changer behind a serial line, for tests.
#include "tests/support/sim_line.h"

std::string SimLine::Written() {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

int SimLine::Write(const unsigned char* bytes, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    written_.append(reinterpret_cast<const char*>(bytes), count);
    for (int k = 0; k < count; ++k) {
        SimCommandFrame frame;
        if (parser_.Feed(bytes[k], frame) && !frame.bad) {
            SimReply reply = changer_.Execute(frame.command, frame.argument);
            std::string answer = BuildSimReply(frame.command, reply.result, reply.payload);
            input_.insert(input_.end(), answer.begin(), answer.end());
        }
    }
    return count;
}

bool SimLine::ReadByte(unsigned char& byte) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (input_.empty()) {
        return false;
    }
    byte = input_.front();
    input_.pop_front();
    return true;
}

void SimLine::DiscardInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    input_.clear();
}
