#include "audio/inputs/SequencerMidiSource.h"

#include "audio/core/AudioLog.h"
#include "audio/core/MonotonicClock.h"

#include <algorithm>
#include <vector>

#include <poll.h>
#include <unistd.h>

bool SequencerMidiSource::open()
{
    if (m_seq)
        return true;
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0)
        return false;
    if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
        m_seq = nullptr;
        return false;
    }
    snd_seq_set_client_name(m_seq, "Tamvolo");
    m_seqPort = snd_seq_create_simple_port(m_seq, "MIDI in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                           SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (m_seqPort < 0 || snd_midi_event_new(256, &m_parser) < 0) {
        close();
        return false;
    }
    // Devices plugged in later are announced by the system client.
    snd_seq_connect_from(m_seq, m_seqPort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    snd_seq_client_info_t *client = nullptr;
    snd_seq_port_info_t *info = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&info);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(m_seq, client) >= 0) {
        snd_seq_port_info_set_client(info, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(info, -1);
        while (snd_seq_query_next_port(m_seq, info) >= 0)
            connectSource(snd_seq_port_info_get_client(info), snd_seq_port_info_get_port(info));
    }
    qCDebug(lcMidi) << "MIDI in: the ALSA sequencer, the client Tamvolo with the port \"MIDI in\"" << linksText();
    return true;
}

MidiSource::Ended SequencerMidiSource::serve(const Wait &wait)
{
    // Read until it is time to look for PipeWire again: a server that comes
    // back (a restart, a login still starting) is taken back, with
    // everything only it can hear.
    const int count = snd_seq_poll_descriptors_count(m_seq, POLLIN);
    std::vector<pollfd> fds(std::size_t(std::max(count, 0)));
    snd_seq_poll_descriptors(m_seq, fds.data(), unsigned(fds.size()), POLLIN);
    const std::int64_t until = monotonicNs() + std::int64_t(kServeMs) * 1'000'000;
    while (monotonicNs() < until) {
        if (wait(std::chrono::milliseconds(0)))
            return Ended::Stopped;
        if (::poll(fds.data(), fds.size(), 200) > 0)
            read();
    }
    return Ended::Again;
}

void SequencerMidiSource::connectSource(int client, int sourcePort)
{
    if (m_links == MidiLinks::None || client == snd_seq_client_id(m_seq) || client == SND_SEQ_CLIENT_SYSTEM)
        return;
    snd_seq_port_info_t *info = nullptr;
    snd_seq_port_info_alloca(&info);
    if (snd_seq_get_any_port_info(m_seq, client, sourcePort, info) < 0)
        return;
    const unsigned caps = snd_seq_port_info_get_capability(info);
    if ((caps & (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ)) !=
            (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ) ||
        (caps & SND_SEQ_PORT_CAP_NO_EXPORT) ||
        (m_links == MidiLinks::Hardware && !(snd_seq_port_info_get_type(info) & SND_SEQ_PORT_TYPE_HARDWARE)))
        return;
    if (snd_seq_connect_from(m_seq, m_seqPort, client, sourcePort) >= 0)
        qCDebug(lcMidi) << "MIDI source linked:" << snd_seq_port_info_get_name(info);
}

void SequencerMidiSource::close()
{
    if (m_parser) {
        snd_midi_event_free(m_parser);
        m_parser = nullptr;
    }
    if (m_seq) {
        snd_seq_close(m_seq);
        m_seq = nullptr;
    }
    m_seqPort = -1;
    m_decoder.reset();
}

void SequencerMidiSource::read()
{
    snd_seq_event_t *event = nullptr;
    while (snd_seq_event_input(m_seq, &event) >= 0 && event) {
        if (event->type == SND_SEQ_EVENT_PORT_START) {
            connectSource(event->data.addr.client, event->data.addr.port);
            continue;
        }
        if (event->type == SND_SEQ_EVENT_PORT_EXIT)
            continue;
        std::uint8_t bytes[256];
        const long size = snd_midi_event_decode(m_parser, bytes, sizeof bytes, event);
        MidiDecoder::Note note;
        for (long i = 0; i < size; ++i)
            if (m_decoder.feed(bytes[i], note))
                heard(note, monotonicNs());
    }
}
