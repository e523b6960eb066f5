#include "audio/servers/PulseProbe.h"

#include "audio/core/MonotonicClock.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

namespace {

struct Answer
{
    bool done = false;
    bool sink = false;
    bool source = false;
};

void serverInfo(pa_context *, const pa_server_info *info, void *data)
{
    auto *answer = static_cast<Answer *>(data);
    answer->done = true;
    answer->sink = info && info->default_sink_name;
    answer->source = info && info->default_source_name;
}

} // namespace

PulseProbe::Server PulseProbe::check(std::chrono::milliseconds limit)
{
    const std::int64_t deadline = monotonicNs() + std::chrono::nanoseconds(limit).count();
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop)
        return Server::None;
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "Tamvolo");
    Server result = Server::None;
    Answer answer;
    pa_operation *asked = nullptr;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        result = Server::NoAnswer;
        for (std::int64_t left = deadline - monotonicNs(); left > 0; left = deadline - monotonicNs()) {
            if (pa_mainloop_prepare(loop, int(left / 1000)) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0) {
                break;
            }
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
                result = Server::None;
                break;
            }
            if (state == PA_CONTEXT_READY && !asked)
                asked = pa_context_get_server_info(context, &serverInfo, &answer);
            if (answer.done) {
                result = answer.sink && answer.source ? Server::Usable : Server::NoDevices;
                break;
            }
        }
    }
    if (asked) {
        pa_operation_cancel(asked);
        pa_operation_unref(asked);
    }
    if (context) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return result;
}
