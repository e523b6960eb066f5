#pragma once

#include "audio/core/SampleRate.h"

#include "keys/PatternLength.h"
#include "keys/Tempo.h"

#include <array>
#include <string>
#include <vector>

// The loop rendered offline, exactly as it plays: step k of the pattern
// (k = 0, 1, ...) starts at k × the tempo's interval (200 ms by default), to
// the frame, every second step swung as the tempo says, through the same single
// voice (each sound cuts the one before with its fade), the alert tone where
// a step names no sample. No sound device is used, and nothing waits for the
// clock: it runs as fast as the machine allows.
class LoopRenderer
{
public:
    static constexpr int kRate = kSampleRate;
    static constexpr int kStepFrames = kRate / 5; // 200 ms
    static constexpr int kBlockFrames = 256;

    // The sample names of the seven steps, as the loop reads them.
    using StepNames = std::array<std::string, PatternLength::kSteps>;

    // `sampleFolders` as the sample bank searches them.
    explicit LoopRenderer(std::vector<std::string> sampleFolders);

    // `loops` whole loops: loops × 7 × the interval of interleaved stereo
    // frames at kRate. The sound still playing at the end is cut there, so
    // that the result loops seamlessly.
    std::vector<float> render(const StepNames &names, int loops, const Tempo &tempo = {}) const;

    // The frame step k (0, 1, ...) starts at.
    static std::int64_t stepFrame(std::int64_t k, const Tempo &tempo);

private:
    std::vector<std::string> m_folders;
};
