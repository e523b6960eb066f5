#include "AudioOutput.h"

#include "MonotonicClock.h"
#include "SampleBuffer.h"
#include "VoicePlayer.h"

#include <SDL.h>
#include <alsa/asoundlib.h>

#include <cstring>
#include <pthread.h>
#include <sched.h>

namespace {

void quietSdlLog(void *, int, SDL_LogPriority, const char *) {}

void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

} // namespace

AudioOutput::~AudioOutput()
{
    close();
}

bool AudioOutput::open()
{
    close();
    // No terminal noise: SDL logs driver warnings, and ALSA prints a page of
    // errors on machines without a sound card.
    SDL_LogSetOutputFunction(quietSdlLog, nullptr);
    snd_lib_error_set_handler(quietAlsa);
    // SDL would otherwise take SIGINT and SIGTERM for itself and turn them
    // into events nobody reads: the program could then not be stopped.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Tamvolo");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Tamvolo");

    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    m_subsystem = true;

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
        close();
        return false;
    }
    m_rate = have.freq;
    m_blockFrames = have.samples;
    m_realtimeAsked = false;
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

void AudioOutput::close()
{
    if (m_device != 0) {
        SDL_CloseAudioDevice(m_device); // waits for the audio thread to end
        m_device = 0;
    }
    m_player = nullptr;
    if (m_subsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_subsystem = false;
    }
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
