#pragma once

#include "audio/core/SampleBuffer.h"
#include "sound/SampleFinder.h"
#include "sound/SampleFolders.h"

class KitSounds;

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The samples the keys and the MIDI hits play, found and read once for both:
// one SampleFinder (its cache and its folders' indexes) behind a mutex, the
// sample folders asked for at each find (the program may have been moved
// and the user's folder made while it runs). A sample a key read is ready
// for the pad, and the kit is preloaded once, by the sample loader. A kit
// chosen (KitSounds) takes the drum keys' files over.
//
// Any thread but the audio thread: find() may block on a file being read,
// another thread's included.
class SampleService
{
public:
    explicit SampleService(int outputRate,
                           std::function<std::vector<std::string>()> folders = &SampleFolders::defaults);

    // The sound `name` stands for: the kit's where it plays that drum key's
    // file, else by SampleFinder's rules (the alert tone where none is found).
    std::shared_ptr<const SampleBuffer> find(std::string_view name);
    // The same without the kit: the built-in sound (or the user's own).
    std::shared_ptr<const SampleBuffer> findBuiltIn(std::string_view name);
    const std::shared_ptr<const SampleBuffer> &alert() const { return m_alert; }

    // The kit the keys and the hits play (null: the built-in sounds alone);
    // never blocks on a file.
    void setKit(std::shared_ptr<const KitSounds> kit);
    std::shared_ptr<const KitSounds> kit() const;

private:
    std::function<std::vector<std::string>()> m_folders;
    std::mutex m_mutex;
    SampleFinder m_finder; // under m_mutex
    mutable std::mutex m_kitMutex;
    std::shared_ptr<const KitSounds> m_kit; // under m_kitMutex
    std::shared_ptr<const SampleBuffer> m_alert;
};
