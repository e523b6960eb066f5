#include "audio/inputs/MidiSource.h"

#include "audio/core/MidiHub.h"

const char *MidiSource::linksText() const
{
    switch (m_links) {
    case MidiLinks::None:
        return "(linked by hand)";
    case MidiLinks::Hardware:
        return "(linked to every hardware MIDI source)";
    case MidiLinks::All:
        return "(linked to every MIDI source, programs' too)";
    }
    return "";
}

void MidiSource::heard(const MidiDecoder::Note &note, std::int64_t atNs)
{
    m_hub.fromSource(MidiHub::Hit{note, atNs});
}
