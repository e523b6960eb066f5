#pragma once

#include <chrono>
#include <functional>
#include <mutex>

// Never waiting for ever on a sound server or a file that stopped answering:
// work run within a time limit (a worker thread is stopped within one by
// Worker).

// Runs `work` on a helper thread and waits at most `limit` for it: a sound
// server that stopped answering holds SDL up for as long as it likes. True
// when `work` ended in time (what it wrote may then be read). Otherwise false,
// and `whenLate` runs on the helper thread once `work` ends, to undo what it
// opened; both must own (or share) everything they touch.
bool runWithin(std::chrono::milliseconds limit, std::function<void()> work, std::function<void()> whenLate = {});
