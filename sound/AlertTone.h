#pragma once

#include "audio/core/SampleBuffer.h"

#include <memory>

// The sound played for a name that finds no sample: a short, soft two-note
// chime (about 130 ms, peak -14 dBFS, well below the drums).
class AlertTone
{
public:
    static constexpr double kSeconds = 0.13;
    static constexpr double kPeak = 0.2; // -14 dBFS

    static std::shared_ptr<const SampleBuffer> make(int outputRate);
};
