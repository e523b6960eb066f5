#include "SoundBank.h"

#include "ApplicationFolder.h"
#include "SoundSink.h"

#include <atomic>
#include <string>

namespace {

std::atomic<SoundSink *> g_sink{nullptr};

} // namespace

void PlaySample(std::string_view name)
{
    SoundSink *sink = g_sink.load(std::memory_order_acquire);
    if (!sink)
        return;
    std::string path = applicationFolder();
    path += "/voc/";
    path += name;
    sink->playSound(path);
}

void SoundBank::setSink(SoundSink *sink)
{
    g_sink.store(sink, std::memory_order_release);
}
