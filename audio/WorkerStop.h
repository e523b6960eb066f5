#pragma once

#include <chrono>
#include <mutex>

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
