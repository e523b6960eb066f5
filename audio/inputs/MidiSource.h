#pragma once

#include "audio/core/MidiDecoder.h"

#include <chrono>
#include <cstdint>
#include <functional>

class MidiHub;

// What the MIDI input links itself to: by default what a drummer plugs in,
// the hardware sources, those plugged in later included; other programs'
// MIDI outputs (a sequencer, a DAW) only with All, or when the user links
// them.
enum class MidiLinks {
    None,     // the user links sources by hand (a patchbay)
    Hardware, // the hardware sources: pads, keyboards, drum kits
    All,      // every MIDI source, other programs' outputs too
};

// One way the MIDI input hears pads (PipeWire's graph, the ALSA sequencer):
// opened, served until it is lost or the input stops, closed; its notes go
// to the hub (MidiHub::fromSource) with the time each was played.
//
// open(), serve() and close() are the input's worker thread's; each blocks
// at most about a second on a sound server. The notes are heard on the
// source's own thread, which never blocks, allocates or logs.
class MidiSource
{
public:
    enum class Ended {
        Stopped, // the input stops
        Lost,    // the server went away
        Again,   // time to look again for a better source, or to reopen
    };
    // Waits at most the time given, signalled; true when the input stops.
    using Wait = std::function<bool(std::chrono::milliseconds)>;
    // How long an open may wait for a server.
    static constexpr int kOpenMs = 1000;

    MidiSource(MidiHub &hub, MidiLinks links)
        : m_hub(hub)
        , m_links(links)
    {}
    virtual ~MidiSource() = default;

    MidiSource(const MidiSource &) = delete;
    MidiSource &operator=(const MidiSource &) = delete;

    virtual bool open() = 0;
    // Hears the source, waiting with `wait`, until it ends.
    virtual Ended serve(const Wait &wait) = 0;
    virtual void close() = 0;

protected:
    // "(linked to every hardware MIDI source)", and the like, for the log.
    const char *linksText() const;
    // The source's thread: a note played at monotonic `atNs`.
    void heard(const MidiDecoder::Note &note, std::int64_t atNs);

    MidiHub &m_hub;
    const MidiLinks m_links;
    MidiDecoder m_decoder; // the source's thread
};
