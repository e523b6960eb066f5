#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// The skeleton of a worker thread that its owner can always stop within a
// time limit, never waiting for ever on a sound server or a file that
// stopped answering. A worker's state derives from it: the thread, and the
// `mutex`, `wake`, `stop` and `done` it shares with its owner. The state's
// other members may be guarded by the same mutex, and woken by the same
// condition.
struct Worker
{
    mutable std::mutex mutex;
    mutable std::condition_variable wake;
    bool stop = false; // under the mutex
    bool done = false; // under the mutex

    // The owner, once: runs `body` on the worker's thread; when it returns
    // (soon after it sees `stop`), `done` is set and `wake` notified.
    template <typename Body> void start(Body body)
    {
        m_thread = std::thread([this, body = std::move(body)]() mutable {
            body();
            const std::lock_guard lock(mutex);
            done = true;
            wake.notify_all();
        });
    }

    // The worker's thread: waits until `limit` passes, `wake` is notified or
    // stop() is asked for; true when it is. May block up to `limit`.
    bool waitOrStop(std::chrono::milliseconds limit) const
    {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, limit, [this] { return stop; });
    }

    // The owner: asks the worker to stop and waits at most `limit`. True,
    // and the thread joined, when it stopped in time (or never started).
    // False, and the thread detached, when it did not (stuck in a server or
    // a file): whatever it uses must then be kept alive (keepForever).
    bool stopWithin(std::chrono::milliseconds limit)
    {
        if (!m_thread.joinable())
            return true;
        bool ended = false;
        {
            std::unique_lock lock(mutex);
            stop = true;
            wake.notify_all();
            ended = wake.wait_for(lock, limit, [this] { return done; });
        }
        if (ended)
            m_thread.join();
        else
            m_thread.detach();
        return ended;
    }

private:
    std::thread m_thread;
};
