#include "sound/LoopRenderer.h"

#include "audio/core/VoicePlayer.h"
#include "sound/SampleFinder.h"

#include <algorithm>

LoopRenderer::LoopRenderer(std::vector<std::string> sampleFolders)
    : m_folders(std::move(sampleFolders))
{}

std::int64_t LoopRenderer::stepFrame(std::int64_t k, const Tempo &tempo)
{
    const Tempo t = tempo.clamped();
    const std::int64_t perMinute = std::int64_t(60) * kRate; // frames a minute
    const auto rounded = [](std::int64_t numerator, std::int64_t denominator) {
        return (2 * numerator + denominator) / (2 * denominator);
    };
    const int step = int(k % PatternLength::kSteps) + 1;
    const std::int64_t swing =
        step % 2 == 0 ? rounded(perMinute * t.swingPercent, std::int64_t(t.stepsPerMinute) * 100) : 0;
    return rounded(k * perMinute, t.stepsPerMinute) + swing;
}

std::vector<float> LoopRenderer::render(const StepNames &names, int loops, const Tempo &tempo) const
{
    const std::int64_t totalFrames =
        stepFrame(std::int64_t(std::max(0, loops)) * PatternLength::kSteps, Tempo{tempo.stepsPerMinute, 0});
    std::vector<float> out(std::size_t(totalFrames) * 2, 0.0f);
    if (totalFrames == 0)
        return out;

    SampleFinder finder(kRate, SampleIndex::Reading::Here);
    std::array<std::shared_ptr<const SampleBuffer>, PatternLength::kSteps> sounds;
    for (int step = 0; step < PatternLength::kSteps; ++step)
        sounds[std::size_t(step)] = finder.find(names[std::size_t(step)], m_folders);

    // The voice, driven by a clock of whole blocks: stream time is the frame
    // count, so a step due at frame f starts exactly there.
    VoicePlayer voice(kRate);
    std::int64_t nextStep = 0;
    for (std::int64_t frame = 0; frame < totalFrames; frame += kBlockFrames) {
        // Each step is handed over in time for the block that holds it.
        while (stepFrame(nextStep, tempo) < frame + kBlockFrames && stepFrame(nextStep, tempo) < totalFrames) {
            auto playback = std::make_unique<Playback>();
            playback->sample = sounds[std::size_t(nextStep % PatternLength::kSteps)];
            playback->onsetNs = voice.nsFor(stepFrame(nextStep, tempo));
            voice.submit(std::move(playback));
            ++nextStep;
        }
        const int frames = int(std::min<std::int64_t>(kBlockFrames, totalFrames - frame));
        voice.render(out.data() + frame * 2, frames, voice.nsFor(frame));
        voice.takeRetired();
    }
    return out;
}
