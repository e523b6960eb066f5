#include "audio/core/TimeLimits.h"

#include <condition_variable>
#include <memory>
#include <thread>

bool runWithin(std::chrono::milliseconds limit, std::function<void()> work, std::function<void()> whenLate)
{
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        bool late = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work), whenLate = std::move(whenLate)] {
        work();
        bool late = false;
        {
            const std::lock_guard lock(shared->mutex);
            shared->done = true;
            late = shared->late;
            shared->cv.notify_all();
        }
        if (late && whenLate)
            whenLate();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (shared->cv.wait_for(lock, limit, [&] { return shared->done; }))
        return true;
    shared->late = true;
    return false;
}
