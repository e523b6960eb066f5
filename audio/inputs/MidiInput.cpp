#include "audio/inputs/MidiInput.h"

#include "audio/core/AudioLog.h"
#include "audio/core/KeepForever.h"
#include "audio/core/Worker.h"
#include "audio/inputs/PipeWireMidiSource.h"
#include "audio/inputs/SequencerMidiSource.h"

struct MidiInput::State : Worker
{
    std::shared_ptr<MidiHub> hub;
    Links links = Links::Hardware;
    std::atomic<Heard> heard{Heard::Looking};

    // The worker thread: opens, and opens again.
    void work();
};

void MidiInput::State::work()
{
    PipeWireMidiSource pipeWire(*hub, links);
    SequencerMidiSource sequencer(*hub, links);
    const MidiSource::Wait wait = [this](std::chrono::milliseconds limit) { return waitOrStop(limit); };
    bool saidNone = false;
    while (!waitOrStop(std::chrono::milliseconds(0))) {
        if (pipeWire.open()) {
            heard = Heard::PipeWire;
            if (sequencer.isOpen()) {
                sequencer.close();
                qCDebug(lcMidi) << "MIDI in: back on PipeWire's graph, no longer on the ALSA sequencer";
            }
            const MidiSource::Ended ended = pipeWire.serve(wait);
            pipeWire.close();
            if (ended == MidiSource::Ended::Stopped)
                break;
            heard = Heard::Looking;
            if (ended == MidiSource::Ended::Lost)
                qCDebug(lcMidi) << "MIDI in: PipeWire went away; tried again every" << kRetryMs << "ms";
            continue;
        }
        if (sequencer.open()) {
            heard = Heard::Sequencer;
            // Served a turn at a time: PipeWire is looked for between turns.
            if (sequencer.serve(wait) == MidiSource::Ended::Stopped)
                break;
            continue;
        }
        heard = Heard::Nowhere;
        if (!saidNone)
            qCDebug(lcMidi) << "no MIDI input: no PipeWire answers and there is no ALSA sequencer";
        saidNone = true;
        if (waitOrStop(std::chrono::milliseconds(kRetryMs)))
            break;
    }
    sequencer.close();
}

MidiInput::MidiInput(std::shared_ptr<MidiHub> hub, Links links)
    : m_state(std::make_unique<State>())
{
    m_state->hub = std::move(hub);
    m_state->links = links;
    m_state->start([state = m_state.get()] { state->work(); });
}

MidiInput::~MidiInput()
{
    if (!m_state->stopWithin(std::chrono::milliseconds(MidiSource::kOpenMs)))
        keepForever(std::move(m_state)); // stuck in a server: left behind with all it uses
}

bool MidiInput::waitForHit(Hit &hit, std::chrono::milliseconds limit)
{
    return m_state->hub->next(hit, limit);
}

void MidiInput::wake()
{
    m_state->hub->wake();
}

std::uint64_t MidiInput::dropped() const
{
    return m_state->hub->dropped();
}

MidiInput::Heard MidiInput::heard() const
{
    return m_state->heard;
}
