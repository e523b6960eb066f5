#include "SoundBank.h"

#include "ApplicationFolder.h"
#include "MonotonicClock.h"
#include "SoundSink.h"

#include <atomic>
#include <string>

namespace {

std::atomic<SoundSink *> g_sink{nullptr};

void request(SoundSink *sink, std::string_view name, std::int64_t stampNs)
{
    std::string path = applicationFolder();
    path += "/voc/";
    path += name;
    sink->playSound(path, stampNs);
}

} // namespace

void PlaySample(std::string_view name)
{
    if (SoundSink *sink = g_sink.load(std::memory_order_acquire))
        request(sink, name, sink->nowNs());
}

void PlaySample(std::string_view name, std::int64_t stampNs)
{
    if (SoundSink *sink = g_sink.load(std::memory_order_acquire))
        request(sink, name, stampNs);
}

void SoundBank::setSink(SoundSink *sink)
{
    g_sink.store(sink, std::memory_order_release);
}

std::int64_t SoundBank::nowNs()
{
    const SoundSink *sink = g_sink.load(std::memory_order_acquire);
    return sink ? sink->nowNs() : monotonicNs();
}
