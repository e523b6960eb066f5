#pragma once

#include "sound/SampleFolders.h"
#include "sound/SoundSink.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class AudioEngine;
class SampleService;

// The program's sample bank: turns sample names into sounds on the audio
// engine.
//
// playSample() runs on the UI thread: it queues the name, with the time it
// stands for, for the bank's loader thread, nothing more. The loader finds
// the file in the sample folders (SampleIndex: letter case and accents do not
// matter), reads and converts it once (SampleService, whose cache the MIDI
// player shares), falls back to the alert tone, and hands the sound to the
// engine with its stamp.
//
// Sample folders are searched in order, each by the same name rules; the
// first that has the name wins. By default (SampleFolders): the user's own
// folder, then voc/ beside the program. They are asked of
// `sampleFolders` for every request, as the program may have been moved and
// the user's folder may come and go.
//
// Between requests the loader loads the kit's files (the user's where they
// have one) before their first press, and looks at them again every
// kPreloadEveryMs, so that the first press of a sample sounds at the same
// delay as the tenth.
//
// A loop step (playStep()) can be withdrawn (withdrawSteps()) until it
// sounds: the withdrawal follows the requests through the queue to the voice,
// so that it reaches exactly the steps asked for before it.
//
// Request queue (UI thread writes, loader reads): a deque under a mutex held
// only to push or to swap the whole queue out; it has no bound, but the
// loader empties it at every wake-up and skips requests that a later one has
// overtaken once their onset has passed. Without a device, requests are
// dropped before anything is loaded.
//
// Closing does not wait for ever on a file that does not answer: a loader
// still reading after AudioEngine::kCloseMs is left behind with what it
// uses, the engine included.
class SoundBank : public SoundSink
{
public:
    static constexpr int kPreloadEveryMs = 2000;
    // What a request may wait for the loader, at most, on a busy machine:
    // added to how far ahead a loop's steps are asked for.
    static constexpr std::int64_t kLoaderNs = 10'000'000;

    explicit SoundBank(std::shared_ptr<AudioEngine> engine,
                       std::function<std::vector<std::string>()> sampleFolders = &SampleFolders::defaults);
    ~SoundBank() override;

    SoundBank(const SoundBank &) = delete;
    SoundBank &operator=(const SoundBank &) = delete;

    void playSample(std::string_view name, std::int64_t stampNs) override;
    void playStep(std::string_view name, std::int64_t stampNs) override;
    void withdrawSteps(std::int64_t fromNs) override;
    void playWav(std::string wav) override;
    void stopVoice() override;
    std::int64_t nowNs() const override;
    std::int64_t aheadNs() const override;

    // Any thread: the samples the bank plays and preloads, for the MIDI
    // player to play too.
    std::shared_ptr<SampleService> samples() const;

private:
    // Everything the loader thread touches.
    struct State;

    std::shared_ptr<AudioEngine> m_engine;
    std::unique_ptr<State> m_state;
};
