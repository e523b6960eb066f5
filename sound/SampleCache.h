#pragma once

#include "audio/core/SampleBuffer.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <string>

// Keeps the converted sounds of the files already played, so that a sample
// is read from disk once. A file is read again when its size or modification
// time changes, so replacing a sample takes effect at its next play. Files
// that failed to load are remembered as failures until they change.
//
// Bounded both in entries and in bytes: past either limit the sounds used
// least recently go first. A sound still playing stays alive by the voice's
// own reference, whatever the cache drops.
// Used by one thread at a time.
class SampleCache
{
public:
    static constexpr std::size_t kMaxEntries = 128;
    static constexpr std::size_t kMaxBytes = 256u * 1024 * 1024;

    explicit SampleCache(int outputRate, std::size_t maxBytes = kMaxBytes);

    // The sound of the file at `path`, or null when it is not a readable WAV.
    std::shared_ptr<const SampleBuffer> get(const std::string &path);

    // The bytes of sound held.
    std::size_t bytes() const { return m_bytes; }
    std::size_t entries() const { return m_entries.size(); }

private:
    struct Entry
    {
        long long size = -1;
        std::timespec modified{};
        std::shared_ptr<const SampleBuffer> buffer;
        std::uint64_t lastUsed = 0;
    };

    static std::size_t bytesOf(const Entry &entry);
    void makeRoom(std::size_t bytes, const std::string &keep);

    int m_rate;
    std::size_t m_maxBytes;
    std::size_t m_bytes = 0;
    std::uint64_t m_uses = 0;
    std::map<std::string, Entry> m_entries;
};
