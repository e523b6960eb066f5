#include "sound/SampleService.h"

SampleService::SampleService(int outputRate, std::function<std::vector<std::string>()> folders)
    : m_folders(std::move(folders))
    , m_finder(outputRate)
    , m_alert(m_finder.alert())
{}

std::shared_ptr<const SampleBuffer> SampleService::find(std::string_view name)
{
    const std::vector<std::string> folders = m_folders();
    const std::lock_guard lock(m_mutex);
    return m_finder.find(name, folders);
}
