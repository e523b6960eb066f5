#include "sound/SampleService.h"

#include "sound/KitSounds.h"

SampleService::SampleService(int outputRate, std::function<std::vector<std::string>()> folders)
    : m_folders(std::move(folders))
    , m_finder(outputRate)
    , m_alert(m_finder.alert())
{}

std::shared_ptr<const SampleBuffer> SampleService::find(std::string_view name)
{
    if (const auto chosen = kit())
        if (auto sound = chosen->keySound(name))
            return sound;
    return findBuiltIn(name);
}

std::shared_ptr<const SampleBuffer> SampleService::findBuiltIn(std::string_view name)
{
    const std::vector<std::string> folders = m_folders();
    const std::lock_guard lock(m_mutex);
    return m_finder.find(name, folders);
}

void SampleService::setKit(std::shared_ptr<const KitSounds> kit)
{
    const std::lock_guard lock(m_kitMutex);
    m_kit = std::move(kit);
}

std::shared_ptr<const KitSounds> SampleService::kit() const
{
    const std::lock_guard lock(m_kitMutex);
    return m_kit;
}
