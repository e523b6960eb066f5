#pragma once

#include <memory>
#include <mutex>
#include <vector>

// What a thread left behind at close (stuck in a sound server that stopped
// answering, or in a file that does not answer) may still use stays alive
// until the process ends: it is never freed, not even at exit.
// Any thread.
template <typename T> void keepForever(std::unique_ptr<T> object)
{
    static std::mutex mutex;
    static auto *kept = new std::vector<std::unique_ptr<T>>; // never destroyed
    const std::lock_guard lock(mutex);
    kept->push_back(std::move(object));
}
