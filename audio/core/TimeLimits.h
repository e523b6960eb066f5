#pragma once

#include <chrono>
#include <functional>
#include <mutex>

// Never waiting for ever on a sound server or a file that stopped answering:
// work run within a time limit, and a worker thread stopped within one.

// Runs `work` on a helper thread and waits at most `limit` for it: a sound
// server that stopped answering holds SDL up for as long as it likes. True
// when `work` ended in time (what it wrote may then be read). Otherwise false,
// and `whenLate` runs on the helper thread once `work` ends, to undo what it
// opened; both must own (or share) everything they touch.
bool runWithin(std::chrono::milliseconds limit, std::function<void()> work, std::function<void()> whenLate = {});

// Stops a worker thread without waiting for ever on it. `state` holds the
// worker's `thread`, and the `mutex`, `wake`, `stop` and `done` it shares
// with it: the worker returns soon after it sees `stop`, having set `done`
// under the mutex and notified `wake`.
//
// True, and the thread joined, when it stopped within `limit`. False, and
// the thread detached, when it did not (stuck in a sound server or a file
// that stopped answering): whatever it uses must then be kept alive
// (keepForever). The thread that owns the worker.
template <typename State> bool stopWorker(State &state, std::chrono::milliseconds limit)
{
    bool done = false;
    {
        std::unique_lock lock(state.mutex);
        state.stop = true;
        state.wake.notify_all();
        done = state.wake.wait_for(lock, limit, [&state] { return state.done; });
    }
    if (done)
        state.thread.join();
    else
        state.thread.detach();
    return done;
}
