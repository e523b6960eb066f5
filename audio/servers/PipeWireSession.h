#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct pw_context;
struct pw_core;
struct pw_registry;
struct pw_thread_loop;
struct spa_dict;

// One client connection to PipeWire, as every node of ours opens it: a
// thread loop of its own, the context, the core and the registry. The
// registry's globals come to `added` and `removed`, and the core's loss of
// the server to `lost`, on the loop's thread, under its lock. Waits are
// signalled ones under the loop's lock, and never outlast their deadline.
//
// open() and close() from one thread at a time (the one that owns it); the
// loop's thread runs the callbacks.
class PipeWireSession
{
public:
    // The quantum every node of ours asks for (node.latency), and the group
    // they are all in (node.group): the graph runs them on one driver, the
    // output's, and a pad's bridge, a driver of its own, joins it.
    static constexpr int kWantedFrames = 256;
    static constexpr const char *kNodeGroup = "tamvolo";

    struct Callbacks
    {
        std::function<void(std::uint32_t id, const char *type, const spa_dict *props)> added;
        std::function<void(std::uint32_t id)> removed;
        std::function<void()> lost;
    };

    // Where this user's clients look for the server: PIPEWIRE_REMOTE when it
    // is a path, else PIPEWIRE_RUNTIME_DIR (or XDG_RUNTIME_DIR) and
    // PIPEWIRE_REMOTE (or "pipewire-0"); empty when nothing says.
    static std::string socketPath();
    // True when a server accepts connections there; never blocks for long.
    static bool serverAnswers();

    PipeWireSession();
    ~PipeWireSession();

    PipeWireSession(const PipeWireSession &) = delete;
    PipeWireSession &operator=(const PipeWireSession &) = delete;

    // Starts the loop's thread, connects, and waits until the server has
    // told every global it has (a round trip), at most until `deadlineNs`
    // (monotonic). Returns with the loop locked, opened or not: the caller
    // adds what it needs and unlocks.
    bool open(const char *threadName, Callbacks callbacks, std::int64_t deadlineNs);
    // Stops the loop's thread: no callback runs after this. Unlocked.
    void stop();
    // Stops, then lets go of everything. Unlocked.
    void close();

    void lock();
    void unlock();
    // Under the lock: waits (signalled) until `ready` says so, the server is
    // lost or the deadline passes; what `ready` says then.
    bool waitUntil(std::int64_t deadlineNs, const std::function<bool()> &ready);
    // Under the lock: a round trip to the server (all it said before has come).
    bool sync(std::int64_t deadlineNs);
    // The loop's thread: wakes a waiter.
    void signal();

    bool lost() const { return m_lost; }
    pw_core *core() const { return m_core; }
    pw_registry *registry() const { return m_registry; }
    pw_thread_loop *loop() const { return m_loop; }

private:
    struct Hooks;
    std::unique_ptr<Hooks> m_hooks;
    Callbacks m_callbacks;
    pw_thread_loop *m_loop = nullptr;
    pw_context *m_context = nullptr;
    pw_core *m_core = nullptr;
    pw_registry *m_registry = nullptr;
    int m_syncSeq = -1;
    bool m_synced = false;
    bool m_lost = false;
};
