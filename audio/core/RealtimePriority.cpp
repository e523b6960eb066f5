#include "audio/core/RealtimePriority.h"

#include <dbus/dbus.h>

#include <algorithm>
#include <mutex>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr const char *kRtkit = "org.freedesktop.RealtimeKit1";
constexpr const char *kRtkitPath = "/org/freedesktop/RealtimeKit1";

// A private connection to the system bus, for the few questions to RTKit,
// closed when done. Every call waits at most RealtimePriority::kRtkitMs.
class SystemBus
{
public:
    SystemBus()
    {
        static std::once_flag threads;
        std::call_once(threads, [] { dbus_threads_init_default(); });
        dbus_error_init(&m_error);
        m_bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &m_error);
        if (m_bus)
            dbus_connection_set_exit_on_disconnect(m_bus, FALSE);
    }
    ~SystemBus()
    {
        if (m_bus) {
            dbus_connection_close(m_bus);
            dbus_connection_unref(m_bus);
        }
        dbus_error_free(&m_error);
    }
    SystemBus(const SystemBus &) = delete;
    SystemBus &operator=(const SystemBus &) = delete;

    bool connected() const { return m_bus != nullptr; }
    std::string error() const { return dbus_error_is_set(&m_error) ? m_error.message : "no answer"; }

    // RTKit's property `name` (an integer), or false.
    bool property(const char *name, long long &value)
    {
        DBusMessage *message =
            dbus_message_new_method_call(kRtkit, kRtkitPath, "org.freedesktop.DBus.Properties", "Get");
        if (!message)
            return false;
        dbus_message_append_args(message, DBUS_TYPE_STRING, &kRtkit, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
        DBusMessage *reply = call(message);
        if (!reply)
            return false;
        bool read = false;
        DBusMessageIter top, variant;
        if (dbus_message_iter_init(reply, &top) && dbus_message_iter_get_arg_type(&top) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&top, &variant);
            if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT32) {
                dbus_int32_t v = 0;
                dbus_message_iter_get_basic(&variant, &v);
                value = v;
                read = true;
            } else if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT64) {
                dbus_int64_t v = 0;
                dbus_message_iter_get_basic(&variant, &v);
                value = v;
                read = true;
            }
        }
        dbus_message_unref(reply);
        return read;
    }

    // Asks RTKit to make thread `thread` of this process real-time.
    bool makeRealtime(pid_t thread, int priority)
    {
        DBusMessage *message = dbus_message_new_method_call(kRtkit, kRtkitPath, kRtkit, "MakeThreadRealtimeWithPID");
        if (!message)
            return false;
        const dbus_uint64_t process = dbus_uint64_t(::getpid());
        const dbus_uint64_t which = dbus_uint64_t(thread);
        const dbus_uint32_t level = dbus_uint32_t(priority);
        dbus_message_append_args(message, DBUS_TYPE_UINT64, &process, DBUS_TYPE_UINT64, &which, DBUS_TYPE_UINT32,
                                 &level, DBUS_TYPE_INVALID);
        DBusMessage *reply = call(message);
        if (reply)
            dbus_message_unref(reply);
        return reply != nullptr;
    }

    // Asks RTKit to give thread `thread` of this process the nice level
    // `level` (below zero: ahead of ordinary work).
    bool makeHighPriority(pid_t thread, int level)
    {
        DBusMessage *message =
            dbus_message_new_method_call(kRtkit, kRtkitPath, kRtkit, "MakeThreadHighPriorityWithPID");
        if (!message)
            return false;
        const dbus_uint64_t process = dbus_uint64_t(::getpid());
        const dbus_uint64_t which = dbus_uint64_t(thread);
        const dbus_int32_t nice = level;
        dbus_message_append_args(message, DBUS_TYPE_UINT64, &process, DBUS_TYPE_UINT64, &which, DBUS_TYPE_INT32, &nice,
                                 DBUS_TYPE_INVALID);
        DBusMessage *reply = call(message);
        if (reply)
            dbus_message_unref(reply);
        return reply != nullptr;
    }

private:
    DBusMessage *call(DBusMessage *message)
    {
        if (dbus_error_is_set(&m_error))
            dbus_error_free(&m_error);
        DBusMessage *reply =
            dbus_connection_send_with_reply_and_block(m_bus, message, RealtimePriority::kRtkitMs, &m_error);
        dbus_message_unref(message);
        return reply;
    }

    DBusConnection *m_bus = nullptr;
    DBusError m_error;
};

// The thread's policy without the flags the kernel reports beside it (RTKit
// always adds SCHED_RESET_ON_FORK), or -1.
int policyOf(pid_t thread)
{
    const int policy = sched_getscheduler(thread);
    return policy < 0 ? policy : policy & ~SCHED_RESET_ON_FORK;
}

bool isRealtime(pid_t thread)
{
    const int policy = policyOf(thread);
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

// "real-time priority 10 (SCHED_RR)", as the thread has it now.
std::string realtimeText(pid_t thread)
{
    sched_param param{};
    sched_getparam(thread, &param);
    return "real-time priority " + std::to_string(param.sched_priority) +
        (policyOf(thread) == SCHED_RR ? " (SCHED_RR)" : " (SCHED_FIFO)");
}

std::string limitText(int resource)
{
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0)
        return "?";
    return limit.rlim_cur == RLIM_INFINITY ? "unlimited" : std::to_string(limit.rlim_cur);
}

// Asks RTKit for real-time priority for `thread`; the priority granted, or 0
// and why not in `why`.
int askRtkit(SystemBus &bus, pid_t thread, std::string &why)
{
    if (!bus.connected()) {
        why = "no system bus: " + bus.error();
        return 0;
    }
    long long most = 0;
    if (!bus.property("MaxRealtimePriority", most) || most < 1) {
        why = "RTKit did not answer: " + bus.error();
        return 0;
    }
    // RTKit grants only to a process whose real-time threads cannot run
    // for longer than it allows without sleeping.
    long long rtTimeMax = 0;
    if (bus.property("RTTimeUSecMax", rtTimeMax) && rtTimeMax > 0) {
        rlimit limit{};
        if (getrlimit(RLIMIT_RTTIME, &limit) == 0 &&
            (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > rlim_t(rtTimeMax))) {
            limit.rlim_cur = limit.rlim_max = rlim_t(rtTimeMax);
            setrlimit(RLIMIT_RTTIME, &limit);
        }
    }
    const int priority = int(std::min<long long>(RealtimePriority::kPriority, most));
    if (!bus.makeRealtime(thread, priority) || !isRealtime(thread)) {
        why = "RTKit refused: " + bus.error();
        return 0;
    }
    return priority;
}

} // namespace

void RealtimePriority::askOnAudioThread()
{
    if (m_state.load(std::memory_order_relaxed) != kNotAsked)
        return;
    const auto self = pid_t(::syscall(SYS_gettid));
    m_thread.store(self, std::memory_order_relaxed);
    int state = kRefused;
    if (isRealtime(0)) {
        // Never lowered: its library may have given more. A thread that is
        // real-time by our own doing (a new stream on the same thread) is
        // said as it was.
        state = self == m_madeByKernel.load(std::memory_order_relaxed) ? kByKernel : kAlready;
    } else {
        sched_param param{};
        param.sched_priority = kPriority;
        // Programs started from this thread do not inherit the priority.
        if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0) {
            state = kByKernel;
            m_madeByKernel.store(self, std::memory_order_relaxed);
        }
    }
    m_granted.store(state != kRefused, std::memory_order_relaxed);
    m_state.store(state, std::memory_order_release);
}

std::string RealtimePriority::settle(const std::string &who)
{
    const int state = m_state.load(std::memory_order_acquire);
    if (state == kNotAsked || state == kSettled)
        return {};
    m_state.store(kSettled, std::memory_order_relaxed);
    const pid_t thread = m_thread.load(std::memory_order_relaxed);
    if (state == kAlready)
        return who + " runs at " + realtimeText(thread) + " already";
    if (state == kByKernel)
        return who + " runs at " + realtimeText(thread) + ", granted by the system";
    std::string why;
    SystemBus bus;
    if (askRtkit(bus, thread, why)) {
        m_granted.store(true, std::memory_order_relaxed);
        return who + " runs at " + realtimeText(thread) + ", granted by RTKit";
    }
    // Refused: ahead of ordinary work at least, by the kernel where the
    // user's RLIMIT_NICE allows, else by RTKit.
    std::string nice = "its nice level stays " + std::to_string(::getpriority(PRIO_PROCESS, id_t(thread)));
    if (::setpriority(PRIO_PROCESS, id_t(thread), kNiceLevel) == 0)
        nice = "it runs at nice level " + std::to_string(kNiceLevel) + ", granted by the system";
    else if (bus.connected() && bus.makeHighPriority(thread, kNiceLevel) &&
             ::getpriority(PRIO_PROCESS, id_t(thread)) == kNiceLevel)
        nice = "it runs at nice level " + std::to_string(kNiceLevel) + ", granted by RTKit";
    return who + " runs at ordinary priority: the system grants this user no real-time priority (RLIMIT_RTPRIO " +
        limitText(RLIMIT_RTPRIO) + ") and " + why + "; " + nice + "; on a busy machine the sound may drop out";
}
