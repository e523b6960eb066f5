#include "audio/AudioOutput.h"

#include "audio/AudioLog.h"
#include "audio/MonotonicClock.h"
#include "audio/SampleBuffer.h"
#include "audio/VoicePlayer.h"

#include <SDL.h>
#include <alsa/asoundlib.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <thread>

namespace {

void quietSdlLog(void *, int, SDL_LogPriority, const char *)
{}

void quietAlsa(const char *, int, const char *, int, const char *, ...)
{}

// The sound server's buffer, unless the user set one.
void askForServerBuffer()
{
    if (!std::getenv("PULSE_LATENCY_MSEC"))
        setenv("PULSE_LATENCY_MSEC", std::to_string(AudioOutput::kServerBufferMs).c_str(), 0);
    if (!std::getenv("PIPEWIRE_LATENCY")) {
        const int frames = AudioOutput::kServerBufferMs * AudioOutput::kPreferredRate / 1000;
        setenv("PIPEWIRE_LATENCY", (std::to_string(frames) + "/" + std::to_string(AudioOutput::kPreferredRate)).c_str(),
               0);
    }
}

} // namespace

AudioOutput::~AudioOutput()
{
    close();
}

bool AudioOutput::open()
{
    if (m_device != 0)
        close(std::chrono::milliseconds(500), false);
    // No terminal noise: SDL logs driver warnings, and ALSA prints a page of
    // errors on machines without a sound card.
    SDL_LogSetOutputFunction(quietSdlLog, nullptr);
    snd_lib_error_set_handler(quietAlsa);
    // SDL would otherwise take SIGINT and SIGTERM for itself and turn them
    // into events nobody reads: the program could then not be stopped.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Tamvolo");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Tamvolo");
    askForServerBuffer();

    if (!m_subsystem) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            qCDebug(lcAudio) << "no audio driver:" << SDL_GetError();
            return false;
        }
        m_subsystem = true;
    }

    SDL_AudioSpec want{};
    want.freq = kPreferredRate;
    want.format = AUDIO_F32SYS;
    want.channels = SampleBuffer::kChannels;
    want.samples = kBlockFrames;
    want.callback = &AudioOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (m_device == 0) {
        qCDebug(lcAudio) << "no audio device:" << SDL_GetError();
        return false;
    }
    m_rate = have.freq;
    m_blockFrames = have.samples;
    m_realtimeAsked = false;
    qCDebug(lcAudio) << "opened driver" << SDL_GetCurrentAudioDriver() << "at" << m_rate << "Hz, blocks of"
                     << m_blockFrames << "frames, server buffer" << std::getenv("PULSE_LATENCY_MSEC") << "ms";
    return true;
}

void AudioOutput::start(VoicePlayer &player)
{
    if (m_device == 0)
        return;
    SDL_LockAudioDevice(m_device);
    m_player = &player;
    SDL_UnlockAudioDevice(m_device);
    SDL_PauseAudioDevice(m_device, 0);
}

bool AudioOutput::close(std::chrono::milliseconds limit, bool quitSdl)
{
    const std::uint32_t device = m_device;
    const bool quit = quitSdl && m_subsystem;
    m_device = 0;
    if (quit)
        m_subsystem = false;
    if (device == 0 && !quit)
        return true;

    struct Done
    {
        std::mutex mutex;
        std::condition_variable cv;
        bool closed = false;
    };
    auto done = std::make_shared<Done>();
    std::thread([device, quit, done] {
        if (device != 0)
            SDL_CloseAudioDevice(device); // waits for the audio thread to end
        if (quit)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        const std::lock_guard lock(done->mutex);
        done->closed = true;
        done->cv.notify_all();
    }).detach();
    std::unique_lock lock(done->mutex);
    const bool closed = done->cv.wait_for(lock, limit, [&] { return done->closed; });
    if (closed)
        m_player = nullptr;
    else
        qCDebug(lcAudio) << "the device did not close in" << limit.count() << "ms; left behind";
    return closed;
}

bool AudioOutput::isRunning() const
{
    return m_device != 0 && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_PLAYING;
}

void AudioOutput::callback(void *self, unsigned char *stream, int len)
{
    const std::int64_t now = monotonicNs();
    auto *output = static_cast<AudioOutput *>(self);
    if (!output->m_realtimeAsked) {
        // Once, on the audio thread itself: real-time scheduling where the
        // system allows it, so that a busy desktop does not make it late.
        // Refused without the right to it; then it stays as it was.
        output->m_realtimeAsked = true;
        sched_param param{};
        param.sched_priority = kRealtimePriority;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    }
    const int frames = len / int(sizeof(float) * SampleBuffer::kChannels);
    if (output->m_player)
        output->m_player->render(reinterpret_cast<float *>(stream), frames, now);
    else
        std::memset(stream, 0, std::size_t(len));
}
