#pragma once

#include "audio/core/SampleBuffer.h"
#include "sound/SampleFinder.h"
#include "sound/SampleFolders.h"

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
// for the pad, and the kit is preloaded once, by the sample loader.
//
// Any thread but the audio thread: find() may block on a file being read,
// another thread's included.
class SampleService
{
public:
    explicit SampleService(int outputRate,
                           std::function<std::vector<std::string>()> folders = &SampleFolders::defaults);

    // The sound `name` stands for (SampleFinder's rules; the alert tone where
    // none is found).
    std::shared_ptr<const SampleBuffer> find(std::string_view name);
    const std::shared_ptr<const SampleBuffer> &alert() const { return m_alert; }

private:
    std::function<std::vector<std::string>()> m_folders;
    std::mutex m_mutex;
    SampleFinder m_finder; // under m_mutex
    std::shared_ptr<const SampleBuffer> m_alert;
};
