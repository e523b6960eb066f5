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
// own threads. A thread its library made real-time already (PipeWire's data
// thread, through RTKit, with SCHED_RR and SCHED_RESET_ON_FORK) is kept as it
// is. Where both refuse, the thread is at least put ahead of ordinary work,
// at nice level kNiceLevel (by the kernel where RLIMIT_NICE allows, else by
// RTKit). The log says what the thread got: the policy, the priority, who
// granted it.
//
// Used for the outputs' audio threads and the MIDI input's data thread.
class RealtimePriority
{
public:
    static constexpr int kPriority = 10;
    static constexpr int kNiceLevel = -11;
    // How long one call to RTKit may take.
    static constexpr int kRtkitMs = 1000;

    // The audio thread, at every callback: the first one asks the kernel.
    // Never blocks, allocates or logs.
    void askOnAudioThread();

    // The engine thread (or the thread that looks after the MIDI input).
    // Once the audio thread has asked: where the kernel refused, asks RTKit
    // (blocking up to four times kRtkitMs); returns, once per stream, what
    // the audio thread got, for the log, said of `who` ("the audio thread
    // of PipeWire"). Otherwise empty.
    std::string settle(const std::string &who);

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
    std::atomic<pid_t> m_madeByKernel{0}; // the thread the kernel made real-time for us
    std::atomic<bool> m_granted{false};
};
