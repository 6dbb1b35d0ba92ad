// One member of a test double read or set under the double's lock, for the
// state that tests look at from other threads.
#pragma once

#include <mutex>
#include <utility>

template <typename T>
T ReadLocked(std::mutex& mutex, const T& value) {
    std::lock_guard<std::mutex> lock(mutex);
    return value;
}

template <typename T>
void SetLocked(std::mutex& mutex, T& target, T value) {
    std::lock_guard<std::mutex> lock(mutex);
    target = std::move(value);
}
