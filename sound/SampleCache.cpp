#include "SampleCache.h"

#include "WavLoader.h"

#include <sys/stat.h>

SampleCache::SampleCache(int outputRate)
    : m_rate(outputRate)
{
}

std::shared_ptr<const SampleBuffer> SampleCache::get(const std::string &path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return nullptr;

    auto it = m_entries.find(path);
    if (it != m_entries.end() && it->second.size == st.st_size
        && it->second.modified.tv_sec == st.st_mtim.tv_sec
        && it->second.modified.tv_nsec == st.st_mtim.tv_nsec)
        return it->second.buffer;

    if (it == m_entries.end() && m_entries.size() >= kMaxEntries)
        m_entries.clear();
    Entry &entry = m_entries[path];
    entry.size = st.st_size;
    entry.modified = st.st_mtim;
    entry.buffer = WavLoader::load(path, m_rate);
    return entry.buffer;
}
