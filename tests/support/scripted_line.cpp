// Scripted serial line for tests.
#include "tests/support/scripted_line.h"

#include "link/changer_link.h"
#include "tests/support/byte_queue.h"
#include "tests/support/locked_value.h"

void ScriptedLine::Reply(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(bytes);
}

void ScriptedLine::FailWrites(bool fail) {
    SetLocked(mutex_, failWrites_, fail);
}

std::string ScriptedLine::Written() {
    return ReadLocked(mutex_, written_);
}

int ScriptedLine::Discarded() {
    return ReadLocked(mutex_, discarded_);
}

int ScriptedLine::Reads() {
    return ReadLocked(mutex_, reads_);
}

int ScriptedLine::Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(input_.size());
}

int ScriptedLine::Write(const unsigned char* bytes, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    reads_ = 0;
    if (!replies_.empty()) {
        input_.insert(input_.end(), replies_.front().begin(), replies_.front().end());
        replies_.pop_front();
    }
    if (failWrites_) {
        return 0;
    }
    written_.append(reinterpret_cast<const char*>(bytes), count);
    return count;
}

long ScriptedLine::WaitedMs() {
    return ReadLocked(mutex_, waitedMs_);
}

bool ScriptedLine::ReadByte(unsigned char& byte) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++reads_;
    if (TakeFront(input_, byte)) {
        return true;
    }
    waitedMs_ += limitMs_ > 0 && limitMs_ < kFirstByteTimeoutMs ? limitMs_ : kFirstByteTimeoutMs;
    return false;
}

void ScriptedLine::DiscardInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    discarded_ += static_cast<int>(input_.size());
    input_.clear();
}

void ScriptedLine::LimitFirstByteWait(int limitMs) {
    SetLocked(mutex_, limitMs_, limitMs);
}
