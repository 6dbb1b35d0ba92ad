// The answering serial line for concurrency tests.
#include "tests/support/answering_line.h"

#include "tests/support/reset_state.h"

int AnsweringLine::Write(const unsigned char* bytes, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string frame(reinterpret_cast<const char*>(bytes), count);
    written_ += frame;
    std::string reply = std::string("\x02") + "04" + frame.substr(3, 2) + "00\x03";
    if (frame.compare(3, 2, "16") == 0) {
        bool discEnd = ++polls_ % 3 == 0;
        reply = discEnd ? StatusReply("PL", false, 9, 4) : StatusReply("PT", true, 4, 1);
    }
    input_.insert(input_.end(), reply.begin(), reply.end());
    return count;
}

bool AnsweringLine::ReadByte(unsigned char& byte) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (input_.empty()) {
        return false;
    }
    byte = input_.front();
    input_.pop_front();
    return true;
}

void AnsweringLine::DiscardInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    input_.clear();
}

std::string AnsweringLine::Written() {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}
