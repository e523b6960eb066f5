#include "audio/AudioOutput.h"

#include <pthread.h>
#include <sched.h>

void AudioOutput::askForRealtimeOnce(bool &asked)
{
    if (asked)
        return;
    asked = true;
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) == 0 && policy == SCHED_OTHER) {
        param.sched_priority = kRealtimePriority;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    }
}
