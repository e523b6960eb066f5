#include "audio/core/MidiDecoder.h"

namespace {

// The data bytes a channel message of status `status` carries.
int dataBytes(std::uint8_t status)
{
    switch (status & 0xF0) {
    case 0xC0: // program change
    case 0xD0: // channel pressure
        return 1;
    default:
        return 2;
    }
}

} // namespace

void MidiDecoder::reset()
{
    m_status = 0;
    m_have = 0;
    m_sysex = false;
}

bool MidiDecoder::feed(std::uint8_t byte, Note &hit)
{
    if (byte >= 0xF8)
        return false; // real-time: clock, start, stop, active sensing... anywhere
    if (byte & 0x80) {
        m_have = 0;
        if (byte == 0xF0) {
            m_sysex = true; // SysEx: everything up to its end (or any status) is read past
            m_status = 0;
            return false;
        }
        m_sysex = false;
        // System common messages end the running status; their data is
        // read past as data without a status.
        m_status = byte < 0xF0 ? byte : 0;
        return false;
    }
    if (m_sysex || m_status == 0)
        return false;
    m_data[m_have++] = byte;
    if (m_have < dataBytes(m_status))
        return false;
    m_have = 0; // running status: the next data bytes start a new message
    if ((m_status & 0xF0) != 0x90 || m_data[1] == 0)
        return false;
    hit.channel = std::uint8_t(m_status & 0x0F);
    hit.note = m_data[0];
    hit.velocity = m_data[1];
    return true;
}
