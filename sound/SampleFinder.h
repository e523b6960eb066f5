#pragma once

#include "audio/core/SampleBuffer.h"
#include "sound/SampleCache.h"
#include "sound/SampleIndex.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The sound a sample name stands for: the first of the sample folders that
// has the name (by SampleIndex's rules) gives the file, read and converted
// once (SampleCache); where no folder has it, or the file found is not a
// readable WAV, the alert tone.
// Used by one thread at a time.
class SampleFinder
{
public:
    // `reading`: how each folder's index is read (see SampleIndex).
    explicit SampleFinder(int outputRate, SampleIndex::Reading reading = SampleIndex::Reading::InBackground);

    // `folders` each end with '/', searched in order.
    std::shared_ptr<const SampleBuffer> find(std::string_view name, const std::vector<std::string> &folders);

    const std::shared_ptr<const SampleBuffer> &alert() const { return m_alert; }

private:
    SampleCache m_cache;
    SampleIndex::Reading m_reading;
    std::map<std::string, SampleIndex> m_indexes; // by folder, kept while the folder is asked for
    std::shared_ptr<const SampleBuffer> m_alert;
};
