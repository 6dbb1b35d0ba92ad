// Test serial lines that answer each write at once.
#include "tests/support/reply_queue_line.h"

#include "tests/support/byte_queue.h"
#include "tests/support/locked_value.h"

std::string ReplyQueueLine::Written() {
    return ReadLocked(mutex_, written_);
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
    return TakeFront(input_, byte);
}

void ReplyQueueLine::DiscardInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    input_.clear();
}
