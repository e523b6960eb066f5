#pragma once

#include "SampleBuffer.h"

#include <ctime>
#include <map>
#include <memory>
#include <string>

// Keeps the converted sounds of the files already played, so that a sample
// is read from disk once. A file is read again when its size or modification
// time changes, so replacing a sample takes effect at its next play. Files
// that failed to load are remembered as failures until they change.
// Used by one thread at a time.
class SampleCache
{
public:
    static constexpr std::size_t kMaxEntries = 128;

    explicit SampleCache(int outputRate);

    // The sound of the file at `path`, or null when it is not a readable WAV.
    std::shared_ptr<const SampleBuffer> get(const std::string &path);

private:
    struct Entry
    {
        long long size = -1;
        std::timespec modified{};
        std::shared_ptr<const SampleBuffer> buffer;
    };

    int m_rate;
    std::map<std::string, Entry> m_entries;
};
