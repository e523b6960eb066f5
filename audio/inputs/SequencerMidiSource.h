#pragma once

#include "audio/inputs/MidiSource.h"

#include <alsa/asoundlib.h>

// The MIDI input on the ALSA sequencer, where no PipeWire answers: a client
// "Tamvolo" with one writable port, "MIDI in"; an event's time is when it
// came. Devices plugged in later are announced by the system client and
// linked as they come; the hardware ones are the sequencer's hardware ports.
// It is served for kServeMs at a time, so that the input looks for PipeWire
// again between turns. Read on the worker thread itself.
class SequencerMidiSource : public MidiSource
{
public:
    static constexpr int kServeMs = 1000;

    using MidiSource::MidiSource;
    ~SequencerMidiSource() override { close(); }

    bool open() override;
    Ended serve(const Wait &wait) override;
    void close() override;
    bool isOpen() const { return m_seq != nullptr; }

private:
    void connectSource(int client, int sourcePort);
    void read();

    snd_seq_t *m_seq = nullptr;
    int m_seqPort = -1;
    snd_midi_event_t *m_parser = nullptr;
};
