#pragma once

#include <QLoggingCategory>

// What the sound side has to say about the device: which driver, rate and
// block size were opened, when the device is opened again, late blocks.
// Off by default; QT_LOGGING_RULES="tamvolo.audio=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcAudio)

// What the MIDI input has to say: where it listens, each source linked and
// unlinked, each note received and what it played. Off by default;
// QT_LOGGING_RULES="tamvolo.midi=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcMidi)
