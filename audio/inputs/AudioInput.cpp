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

AudioInput::Start AudioInput::open()
{
    if (m_device != 0 && !isLost())
        return Start::Opened;
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
    m_blocksSeen = 0;
    m_blocksMoved = std::chrono::steady_clock::now();
    m_device = opened->device;
    m_subsystem = true;
    qCDebug(lcAudio) << "listening to the default input with driver" << SDL_GetCurrentAudioDriver();
    SDL_PauseAudioDevice(m_device, 0);
    return Start::Opened;
}

AudioInput::Start AudioInput::record()
{
    const Start opened = open();
    if (opened == Start::Opened && !isRecording())
        m_take->wanted.fetch_add(1, std::memory_order_release);
    return opened;
}

bool AudioInput::isStalled()
{
    if (m_device == 0)
        return false;
    const std::uint64_t blocks = m_take->blocks.load(std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    if (blocks != m_blocksSeen) {
        m_blocksSeen = blocks;
        m_blocksMoved = now;
    }
    return now - m_blocksMoved >= std::chrono::milliseconds(kStallMs);
}

bool AudioInput::isRecording() const
{
    return m_device != 0 && (m_take->wanted.load(std::memory_order_relaxed) & 1u) != 0;
}

std::size_t AudioInput::recorded() const
{
    if (!m_take)
        return 0;
    const unsigned wanted = m_take->wanted.load(std::memory_order_relaxed);
    if ((wanted & 1u) == 0 || m_take->heard.load(std::memory_order_acquire) != wanted)
        return 0;
    return m_take->written.load(std::memory_order_acquire);
}

std::vector<float> AudioInput::endTake()
{
    if (!m_take || (m_take->wanted.load(std::memory_order_relaxed) & 1u) == 0)
        return {};
    // What the capture thread wrote up to here is the take; a block it may
    // be writing now lies beyond, and is not read.
    const std::size_t count = recorded();
    m_take->wanted.fetch_add(1, std::memory_order_release);
    return std::vector<float>(m_take->frames.begin(), m_take->frames.begin() + std::ptrdiff_t(count));
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
    std::vector<float> take = endTake();
    if (!closed) {
        // The capture thread may still write: it keeps its buffer.
        qCDebug(lcAudio) << "the input did not close in" << kCloseMs << "ms; left behind";
        keepForever(std::make_unique<std::shared_ptr<Take>>(std::move(m_take)));
    }
    m_take.reset();
    return take;
}

bool AudioInput::isFull() const
{
    return m_take && recorded() >= m_take->frames.size();
}

double AudioInput::seconds() const
{
    return double(recorded()) / kRate;
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
    const unsigned wanted = take->wanted.load(std::memory_order_acquire);
    if ((wanted & 1u) != 0) {
        // A new take starts at the buffer's beginning.
        const bool fresh = take->heard.load(std::memory_order_relaxed) != wanted;
        const std::size_t at = fresh ? 0 : take->written.load(std::memory_order_relaxed);
        const std::size_t kept = std::min(count, take->frames.size() - std::min(at, take->frames.size()));
        std::memcpy(take->frames.data() + at, frames, kept * sizeof(float));
        take->written.store(at + kept, std::memory_order_release);
        take->heard.store(wanted, std::memory_order_release);
    }
    float peak = take->peak.load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(frames[i]));
    take->peak.store(peak, std::memory_order_relaxed);
    take->blocks.fetch_add(1, std::memory_order_relaxed);
}
