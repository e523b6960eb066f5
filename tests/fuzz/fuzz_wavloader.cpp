// libFuzzer target: any bytes as a sample file of voc/.
#include "sound/WavLoader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto sound = WavLoader::decode(reinterpret_cast<const char *>(data), size, 48000);
    if (sound) {
        // Everything that comes out must be playable as it is.
        float sum = 0;
        for (float s : sound->samples)
            sum += s;
        if ((sound->channels != 1 && sound->channels != 2) ||
            sound->samples.size() % std::size_t(sound->channels) != 0 || sum != sum)
            __builtin_trap();
    }
    return 0;
}
