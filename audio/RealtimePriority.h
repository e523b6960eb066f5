#pragma once

#include <atomic>
#include <string>

#include <sys/types.h>

// Real-time scheduling for an output's audio thread, so that a busy desktop
// does not make it late. Asked for the way desktops grant it:
// - of the kernel itself, where this user may (root, or an RLIMIT_RTPRIO
//   above zero, as Debian's audio group has it): by the audio thread, on its
//   first callback, with one system call that never blocks;
// - of RTKit, the system service that grants it to the users of a desktop
//   session, where the kernel refuses: over D-Bus, by the engine thread on
//   the audio thread's behalf, as a D-Bus call may block. RTKit asks for
//   RLIMIT_RTTIME to be set first; it is (the audio thread sleeps every
//   block, far below the limit).
// The priority is kPriority: above ordinary work, below the sound server's
// own threads.
class RealtimePriority
{
public:
    static constexpr int kPriority = 10;
    // How long one call to RTKit may take.
    static constexpr int kRtkitMs = 1000;

    // The audio thread, at every callback: the first one asks the kernel.
    // Never blocks, allocates or logs.
    void askOnAudioThread();

    // The engine thread. Once the audio thread has asked: where the kernel
    // refused, asks RTKit (blocking up to twice kRtkitMs); returns, once per
    // stream, what the audio thread got, for the log. Otherwise empty.
    std::string settle(const char *output);

    // The engine thread, before a new stream starts (no audio thread runs):
    // its thread is asked for afresh.
    void reset() { m_state.store(kNotAsked, std::memory_order_relaxed); }

    // Any thread: whether the audio thread runs at real-time priority.
    bool granted() const { return m_granted.load(std::memory_order_relaxed); }

private:
    enum State : int {
        kNotAsked, // no callback yet
        kAlready,  // the thread was real-time already (its library's doing)
        kByKernel, // the kernel granted it
        kRefused,  // the kernel refused: RTKit is to be asked
        kSettled,  // said in the log
    };

    std::atomic<int> m_state{kNotAsked};
    std::atomic<pid_t> m_thread{0};
    std::atomic<bool> m_granted{false};
};
