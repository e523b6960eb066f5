#include "sound/SampleFinder.h"

#include "sound/AlertTone.h"

#include <algorithm>

SampleFinder::SampleFinder(int outputRate, SampleIndex::Reading reading)
    : m_cache(outputRate)
    , m_reading(reading)
    , m_alert(AlertTone::make(outputRate))
{}

std::shared_ptr<const SampleBuffer> SampleFinder::find(std::string_view name, const std::vector<std::string> &folders)
{
    std::erase_if(m_indexes, [&](const auto &entry) {
        return std::find(folders.begin(), folders.end(), entry.first) == folders.end();
    });
    for (const std::string &folder : folders) {
        SampleIndex &index = m_indexes.try_emplace(folder, folder, m_reading).first->second;
        std::string path = folder;
        path += name;
        if (const auto file = index.resolve(path)) {
            // A file that is not a readable WAV sounds like a missing one;
            // it does not let another folder's file of that name play.
            if (auto sound = m_cache.get(*file))
                return sound;
            return m_alert;
        }
    }
    return m_alert;
}
