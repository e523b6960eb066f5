#include "audio/AudioInput.h"

#include "audio/AudioLog.h"
#include "audio/SdlDevice.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

AudioInput::~AudioInput()
{
    stop();
}

bool AudioInput::start()
{
    stop();
    m_buffer.assign(std::size_t(kRate) * kMaxSeconds, 0.0f);
    m_written = 0;
    m_peak = 0.0f;
    if (!initSdlAudio())
        return false;
    m_subsystem = true;

    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = 512;
    want.callback = &AudioInput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0); // SDL converts to what we want
    if (m_device == 0) {
        qCDebug(lcAudio) << "no input device:" << SDL_GetError();
        closeSdlAudio(0, true, std::chrono::milliseconds(kCloseMs));
        m_subsystem = false;
        return false;
    }
    qCDebug(lcAudio) << "recording from the default input with driver" << SDL_GetCurrentAudioDriver();
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

std::vector<float> AudioInput::stop()
{
    const std::uint32_t device = m_device;
    m_device = 0;
    if (device != 0 || m_subsystem) {
        if (!closeSdlAudio(device, m_subsystem, std::chrono::milliseconds(kCloseMs))) {
            // The capture thread may still write into the buffer: leave it
            // to it, and hand a copy of what is there.
            qCDebug(lcAudio) << "the input did not close in" << kCloseMs << "ms; left behind";
            std::vector<float> take(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(m_written.load()));
            new std::vector<float>(std::move(m_buffer)); // kept for the thread left behind, never freed
            m_buffer.clear();
            m_subsystem = false;
            return take;
        }
        m_subsystem = false;
    }
    std::vector<float> take(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(m_written.load()));
    return take;
}

bool AudioInput::isFull() const
{
    return !m_buffer.empty() && m_written.load(std::memory_order_acquire) >= m_buffer.size();
}

double AudioInput::seconds() const
{
    return double(m_written.load(std::memory_order_acquire)) / kRate;
}

float AudioInput::takePeak()
{
    return m_peak.exchange(0.0f, std::memory_order_relaxed);
}

void AudioInput::callback(void *self, unsigned char *stream, int len)
{
    auto *input = static_cast<AudioInput *>(self);
    const auto *frames = reinterpret_cast<const float *>(stream);
    const std::size_t count = std::size_t(len) / sizeof(float);
    const std::size_t at = input->m_written.load(std::memory_order_relaxed);
    const std::size_t room = input->m_buffer.size() - std::min(at, input->m_buffer.size());
    const std::size_t kept = std::min(count, room);
    std::memcpy(input->m_buffer.data() + at, frames, kept * sizeof(float));
    float peak = input->m_peak.load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(frames[i]));
    input->m_peak.store(peak, std::memory_order_relaxed);
    input->m_written.store(at + kept, std::memory_order_release);
}
