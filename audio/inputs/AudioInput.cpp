#include "audio/inputs/AudioInput.h"

#include "audio/core/AudioLog.h"
#include "audio/core/KeepForever.h"
#include "audio/core/TimeLimits.h"
#include "audio/servers/SdlDevice.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

AudioInput::~AudioInput()
{
    stop();
}

AudioInput::Start AudioInput::start()
{
    stop();
    auto take = std::make_shared<Take>();
    take->frames.assign(std::size_t(kRate) * kMaxSeconds, 0.0f);

    struct Opened
    {
        std::uint32_t device = 0;
        bool subsystem = false;
        bool noAnswer = false;
    };
    auto opened = std::make_shared<Opened>();
    const bool answered = runWithin(
        std::chrono::milliseconds(kOpenMs),
        [opened, take] {
            if (!initSdlAudio(&opened->noAnswer))
                return;
            SDL_AudioSpec want{};
            want.freq = kRate;
            want.format = AUDIO_F32SYS;
            want.channels = 1;
            want.samples = 512;
            want.callback = &AudioInput::callback;
            want.userdata = take.get();
            SDL_AudioSpec have{};
            opened->device = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0); // SDL converts to what we want
            opened->subsystem = true;
            if (opened->device == 0) {
                qCDebug(lcAudio) << "no input device:" << SDL_GetError();
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
                opened->subsystem = false;
            }
        },
        [opened, take] {
            // Too late: nobody records any more. The device never ran.
            if (opened->device != 0)
                SDL_CloseAudioDevice(opened->device);
            if (opened->subsystem)
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
        });
    if (!answered || opened->noAnswer) {
        qCDebug(lcAudio) << "the input did not answer";
        return Start::NoAnswer;
    }
    if (opened->device == 0)
        return Start::NoDevice;
    m_take = std::move(take);
    m_device = opened->device;
    m_subsystem = true;
    qCDebug(lcAudio) << "recording from the default input with driver" << SDL_GetCurrentAudioDriver();
    SDL_PauseAudioDevice(m_device, 0);
    return Start::Recording;
}

bool AudioInput::isLost() const
{
    return m_device != 0 && SDL_GetAudioDeviceStatus(m_device) != SDL_AUDIO_PLAYING;
}

std::vector<float> AudioInput::stop()
{
    const std::uint32_t device = m_device;
    m_device = 0;
    bool closed = true;
    if (device != 0 || m_subsystem) {
        closed = closeSdlAudio(device, m_subsystem, std::chrono::milliseconds(kCloseMs));
        m_subsystem = false;
    }
    if (!m_take)
        return {};
    std::vector<float> take(m_take->frames.begin(),
                            m_take->frames.begin() + std::ptrdiff_t(m_take->written.load(std::memory_order_acquire)));
    if (!closed) {
        // The capture thread may still write: it keeps its buffer.
        qCDebug(lcAudio) << "the input did not close in" << kCloseMs << "ms; left behind";
        keepForever(std::make_unique<std::shared_ptr<Take>>(std::move(m_take)));
    }
    return take;
}

bool AudioInput::isFull() const
{
    return m_take && m_take->written.load(std::memory_order_acquire) >= m_take->frames.size();
}

double AudioInput::seconds() const
{
    return m_take ? double(m_take->written.load(std::memory_order_acquire)) / kRate : 0.0;
}

float AudioInput::takePeak()
{
    return m_take ? m_take->peak.exchange(0.0f, std::memory_order_relaxed) : 0.0f;
}

void AudioInput::callback(void *userdata, unsigned char *stream, int len)
{
    auto *take = static_cast<Take *>(userdata);
    const auto *frames = reinterpret_cast<const float *>(stream);
    const std::size_t count = std::size_t(len) / sizeof(float);
    const std::size_t at = take->written.load(std::memory_order_relaxed);
    const std::size_t kept = std::min(count, take->frames.size() - std::min(at, take->frames.size()));
    std::memcpy(take->frames.data() + at, frames, kept * sizeof(float));
    float peak = take->peak.load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(frames[i]));
    take->peak.store(peak, std::memory_order_relaxed);
    take->written.store(at + kept, std::memory_order_release);
}
