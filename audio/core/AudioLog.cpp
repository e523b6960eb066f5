#include "audio/core/AudioLog.h"

Q_LOGGING_CATEGORY(lcAudio, "tamvolo.audio", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMidi, "tamvolo.midi", QtWarningMsg)
