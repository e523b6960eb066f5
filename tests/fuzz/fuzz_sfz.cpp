// libFuzzer target: any bytes as an SFZ file. Whatever it reads stays
// inside the file's folder, with notes and velocities in range.
#include "sound/SfzKitReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Kit kit;
    std::string why;
    if (!SfzKitReader::read(std::string_view(reinterpret_cast<const char *>(data), size), "/kit/", kit, why))
        return 0;
    for (const Kit::Instrument &instrument : kit.instruments) {
        if (instrument.note < 0 || instrument.note > 127 || instrument.layers.empty())
            __builtin_trap();
        for (const Kit::Layer &layer : instrument.layers)
            if (layer.file.rfind("/kit/", 0) != 0 || layer.file.find("/../") != std::string::npos ||
                layer.minVelocity < 1 || layer.maxVelocity > 127 || layer.pitch < -24.0f || layer.pitch > 24.0f)
                __builtin_trap();
    }
    return 0;
}
