// A stand-in for a hardware MIDI pad behind PipeWire's MIDI bridge, for the
// real-server tests: a node whose one MIDI output port is a device's
// (port.physical), in a group of its own with a driver of its own
// (support.node.driver, at priority.driver 1 as the bridge has it), at a
// latency of 1,024 frames, as the bridge runs on a stock desktop. It plays
// the hits given, each at its frame counted in its own cycles from its first
// cycle on, then ends; it prints the cycles it ran in:
//   midi_pad [--lead FRAMES] FRAME:NOTE:VELOCITY...
// ("cycles of 256 frames, driven by another driver (node 30); 8 hits sent"). Drum hits go
// on channel 10; each note ends 60 ms after it starts.
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/control/control.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Event
{
    long long frame = 0;
    unsigned char bytes[3] = {};
};

struct Pad
{
    pw_main_loop *loop = nullptr;
    pw_filter *filter = nullptr;
    void *port = nullptr;
    std::vector<Event> events; // by frame
    std::size_t next = 0;
    long long first = -1; // the graph's position at the first cycle
    long long last = 0;
    unsigned duration = 0, driver = 0;
    std::uint32_t ownClock = SPA_ID_INVALID; // its clock's node id
    bool ended = false;
};

void process(void *data, spa_io_position *position)
{
    auto *pad = static_cast<Pad *>(data);
    if (!position)
        return;
    pw_buffer *buffer = pw_filter_dequeue_buffer(pad->port);
    if (!buffer)
        return;
    const auto frames = static_cast<long long>(position->clock.duration);
    if (pad->first < 0)
        pad->first = static_cast<long long>(position->clock.position);
    const long long now = static_cast<long long>(position->clock.position) - pad->first;
    pad->duration = unsigned(frames);
    pad->driver = position->clock.id;
    spa_data &d = buffer->buffer->datas[0];
    spa_pod_builder builder;
    spa_pod_frame frame;
    spa_pod_builder_init(&builder, d.data, d.maxsize);
    spa_pod_builder_push_sequence(&builder, &frame, 0);
    while (pad->next < pad->events.size() && pad->events[pad->next].frame < now + frames) {
        const Event &e = pad->events[pad->next++];
        spa_pod_builder_control(&builder, std::uint32_t(std::max(0LL, e.frame - now)), SPA_CONTROL_Midi);
        spa_pod_builder_bytes(&builder, e.bytes, 3);
    }
    spa_pod_builder_pop(&builder, &frame);
    d.chunk->offset = 0;
    d.chunk->size = builder.state.offset;
    d.chunk->stride = 1;
    pw_filter_queue_buffer(pad->port, buffer);
    if (pad->next == pad->events.size() && now > pad->last + 24000 && !pad->ended) {
        pad->ended = true;
        pw_loop_invoke(
            pw_main_loop_get_loop(pad->loop),
            [](spa_loop *, bool, std::uint32_t, const void *, size_t, void *p) {
                pw_main_loop_quit(static_cast<Pad *>(p)->loop);
                return 0;
            },
            0, nullptr, 0, false, pad);
    }
}

} // namespace

int main(int argc, char **argv)
{
    Pad pad;
    long long lead = 48000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--lead") == 0 && i + 1 < argc) {
            lead = std::atoll(argv[++i]);
            continue;
        }
        long long at = 0;
        int note = 0, velocity = 0;
        if (std::sscanf(argv[i], "%lld:%d:%d", &at, &note, &velocity) != 3) {
            std::fprintf(stderr, "midi_pad: FRAME:NOTE:VELOCITY, not %s\n", argv[i]);
            return 2;
        }
        pad.events.push_back({lead + at, {0x99, (unsigned char)note, (unsigned char)velocity}});
        pad.events.push_back({lead + at + 2880, {0x89, (unsigned char)note, 0}});
        pad.last = std::max(pad.last, lead + at + 2880);
    }
    std::stable_sort(pad.events.begin(), pad.events.end(),
                     [](const Event &a, const Event &b) { return a.frame < b.frame; });

    pw_init(&argc, &argv);
    pad.loop = pw_main_loop_new(nullptr);
    pw_context *context = pw_context_new(pw_main_loop_get_loop(pad.loop), nullptr, 0);
    pw_core *core = context ? pw_context_connect(context, nullptr, 0) : nullptr;
    if (!core) {
        std::fprintf(stderr, "midi_pad: no PipeWire\n");
        return 1;
    }
    // The pad's own clock, as the bridge is a driver of its own.
    pw_properties *clockProps =
        pw_properties_new("factory.name", "support.node.driver", PW_KEY_NODE_NAME, "tamvolo-test-pad-clock",
                          PW_KEY_NODE_GROUP, "tamvolo-test-pad", PW_KEY_PRIORITY_DRIVER, "1", nullptr);
    auto *clock = static_cast<pw_proxy *>(
        pw_core_create_object(core, "spa-node-factory", PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, &clockProps->dict, 0));
    pw_properties_free(clockProps);
    spa_hook clockListener{};
    static const pw_proxy_events clockEvents = [] {
        pw_proxy_events e{};
        e.version = PW_VERSION_PROXY_EVENTS;
        e.bound = [](void *p, std::uint32_t id) { static_cast<Pad *>(p)->ownClock = id; };
        return e;
    }();
    if (clock)
        pw_proxy_add_listener(clock, &clockListener, &clockEvents, &pad);

    static const pw_filter_events events = [] {
        pw_filter_events e{};
        e.version = PW_VERSION_FILTER_EVENTS;
        e.process = process;
        return e;
    }();
    pad.filter = pw_filter_new(
        core, "tamvolo-test-pad",
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Midi", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_CLASS,
                          "Midi/Bridge", PW_KEY_NODE_NAME, "tamvolo-test-pad", PW_KEY_NODE_GROUP, "tamvolo-test-pad",
                          PW_KEY_NODE_LATENCY, "1024/48000", PW_KEY_NODE_ALWAYS_PROCESS, "true", nullptr));
    spa_hook listener{};
    pw_filter_add_listener(pad.filter, &listener, &events, &pad);
    pad.port =
        pw_filter_add_port(pad.filter, PW_DIRECTION_OUTPUT, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0,
                           pw_properties_new(PW_KEY_FORMAT_DSP, "8 bit raw midi", PW_KEY_PORT_NAME, "capture_0",
                                             PW_KEY_PORT_PHYSICAL, "true", PW_KEY_PORT_TERMINAL, "true", nullptr),
                           nullptr, 0);
    if (!pad.port || pw_filter_connect(pad.filter, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) < 0) {
        std::fprintf(stderr, "midi_pad: the node did not connect\n");
        return 1;
    }
    pw_main_loop_run(pad.loop);
    std::printf("cycles of %u frames, driven by %s (node %u); %zu hits sent\n", pad.duration,
                pad.driver == pad.ownClock ? "its own clock" : "another driver", pad.driver, pad.events.size() / 2);
    pw_filter_destroy(pad.filter);
    if (clock)
        pw_proxy_destroy(clock);
    pw_core_disconnect(core);
    pw_context_destroy(context);
    pw_main_loop_destroy(pad.loop);
    pw_deinit();
    return 0;
}
