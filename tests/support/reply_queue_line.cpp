// Test serial lines that answer each write at once.
#include "tests/support/reply_queue_line.h"

std::string ReplyQueueLine::Written() {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

int ReplyQueueLine::Write(const unsigned char* bytes, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    written_.append(reinterpret_cast<const char*>(bytes), count);
    std::string answer = Answer(bytes, count);
    input_.insert(input_.end(), answer.begin(), answer.end());
    return count;
}

bool ReplyQueueLine::ReadByte(unsigned char& byte) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (input_.empty()) {
        return false;
    }
    byte = input_.front();
    input_.pop_front();
    return true;
}

void ReplyQueueLine::DiscardInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    input_.clear();
}
