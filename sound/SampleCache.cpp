#include "sound/SampleCache.h"

#include "sound/WavLoader.h"

#include <sys/stat.h>

SampleCache::SampleCache(int outputRate, std::size_t maxBytes)
    : m_rate(outputRate)
    , m_maxBytes(maxBytes)
{}

std::size_t SampleCache::bytesOf(const Entry &entry)
{
    return entry.buffer ? entry.buffer->samples.size() * sizeof(float) : 0;
}

void SampleCache::makeRoom(std::size_t bytes, const std::string &keep)
{
    while (!m_entries.empty() && (m_entries.size() > kMaxEntries || m_bytes + bytes > m_maxBytes)) {
        auto oldest = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
            if (it->first != keep && (oldest == m_entries.end() || it->second.lastUsed < oldest->second.lastUsed))
                oldest = it;
        if (oldest == m_entries.end())
            return;
        m_bytes -= bytesOf(oldest->second);
        m_entries.erase(oldest);
    }
}

std::shared_ptr<const SampleBuffer> SampleCache::get(const std::string &path)
{
    struct stat st = {};
    if (::stat(path.c_str(), &st) != 0)
        return nullptr;

    auto it = m_entries.find(path);
    if (it != m_entries.end() && it->second.size == st.st_size && it->second.modified.tv_sec == st.st_mtim.tv_sec &&
        it->second.modified.tv_nsec == st.st_mtim.tv_nsec) {
        it->second.lastUsed = ++m_uses;
        return it->second.buffer;
    }

    if (it != m_entries.end()) {
        m_bytes -= bytesOf(it->second);
        m_entries.erase(it);
    }
    Entry entry;
    entry.size = st.st_size;
    entry.modified = st.st_mtim;
    entry.buffer = WavLoader::load(path, m_rate);
    entry.lastUsed = ++m_uses;
    const std::size_t bytes = bytesOf(entry);
    if (bytes > m_maxBytes)
        return entry.buffer; // played, not kept
    m_entries[path] = entry;
    m_bytes += bytes;
    makeRoom(0, path);
    return entry.buffer;
}
