#include "audio/servers/PipeWireSession.h"

#include "audio/core/MonotonicClock.h"

#include <pipewire/pipewire.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

struct PipeWireSession::Hooks
{
    pw_core_events coreEvents = {};
    pw_registry_events registryEvents = {};
    spa_hook core = {};
    spa_hook registry = {};
};

std::string PipeWireSession::socketPath()
{
    const char *remote = std::getenv("PIPEWIRE_REMOTE");
    if (remote && remote[0] == '/')
        return remote;
    const char *dir = std::getenv("PIPEWIRE_RUNTIME_DIR");
    if (!dir || !*dir)
        dir = std::getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir)
        return {};
    return std::string(dir) + "/" + (remote && *remote ? remote : "pipewire-0");
}

bool PipeWireSession::serverAnswers()
{
    const std::string path = socketPath();
    sockaddr_un address = {};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

PipeWireSession::PipeWireSession()
    : m_hooks(std::make_unique<Hooks>())
{
    Hooks &h = *m_hooks;
    h.coreEvents.version = PW_VERSION_CORE_EVENTS;
    h.coreEvents.done = [](void *self, uint32_t id, int seq) {
        auto *session = static_cast<PipeWireSession *>(self);
        if (id == PW_ID_CORE && seq == session->m_syncSeq) {
            session->m_synced = true;
            session->signal();
        }
    };
    h.coreEvents.error = [](void *self, uint32_t id, int, int res, const char *) {
        auto *session = static_cast<PipeWireSession *>(self);
        if (id == PW_ID_CORE && res == -EPIPE) {
            session->m_lost = true;
            if (session->m_callbacks.lost)
                session->m_callbacks.lost();
            session->signal();
        }
    };
    h.registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    h.registryEvents.global = [](void *self, uint32_t id, uint32_t, const char *type, uint32_t, const spa_dict *props) {
        auto *session = static_cast<PipeWireSession *>(self);
        if (type && session->m_callbacks.added)
            session->m_callbacks.added(id, type, props);
    };
    h.registryEvents.global_remove = [](void *self, uint32_t id) {
        auto *session = static_cast<PipeWireSession *>(self);
        if (session->m_callbacks.removed)
            session->m_callbacks.removed(id);
    };
}

PipeWireSession::~PipeWireSession()
{
    close();
}

bool PipeWireSession::open(const char *threadName, Callbacks callbacks, std::int64_t deadlineNs)
{
    close();
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
    m_callbacks = std::move(callbacks);
    m_lost = m_synced = false;
    m_loop = pw_thread_loop_new(threadName, nullptr);
    if (!m_loop)
        return false;
    pw_thread_loop_lock(m_loop);
    if (pw_thread_loop_start(m_loop) < 0)
        return false;
    m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
    if (!m_context)
        return false;
    m_core = pw_context_connect(m_context, nullptr, 0);
    if (!m_core)
        return false;
    pw_core_add_listener(m_core, &m_hooks->core, &m_hooks->coreEvents, this);
    m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
    if (!m_registry)
        return false;
    pw_registry_add_listener(m_registry, &m_hooks->registry, &m_hooks->registryEvents, this);
    return sync(deadlineNs);
}

void PipeWireSession::lock()
{
    if (m_loop)
        pw_thread_loop_lock(m_loop);
}

void PipeWireSession::unlock()
{
    if (m_loop)
        pw_thread_loop_unlock(m_loop);
}

bool PipeWireSession::waitUntil(std::int64_t deadlineNs, const std::function<bool()> &ready)
{
    while (!ready() && !m_lost) {
        const std::int64_t left = deadlineNs - monotonicNs();
        if (left <= 0)
            return false;
        timespec until{};
        pw_thread_loop_get_time(m_loop, &until, left);
        pw_thread_loop_timed_wait_full(m_loop, &until);
    }
    return ready();
}

bool PipeWireSession::sync(std::int64_t deadlineNs)
{
    m_synced = false;
    m_syncSeq = pw_core_sync(m_core, PW_ID_CORE, m_syncSeq + 1);
    return waitUntil(deadlineNs, [this] { return m_synced; });
}

void PipeWireSession::signal()
{
    pw_thread_loop_signal(m_loop, false);
}

void PipeWireSession::stop()
{
    if (m_loop)
        pw_thread_loop_stop(m_loop);
}

void PipeWireSession::close()
{
    stop();
    if (m_registry) {
        spa_hook_remove(&m_hooks->registry);
        pw_proxy_destroy(reinterpret_cast<pw_proxy *>(m_registry));
        m_registry = nullptr;
    }
    if (m_core) {
        spa_hook_remove(&m_hooks->core);
        pw_core_disconnect(m_core);
        m_core = nullptr;
    }
    if (m_context) {
        pw_context_destroy(m_context);
        m_context = nullptr;
    }
    if (m_loop) {
        pw_thread_loop_destroy(m_loop);
        m_loop = nullptr;
    }
}
