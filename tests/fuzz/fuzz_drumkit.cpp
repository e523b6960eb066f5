// libFuzzer target: any bytes as a Hydrogen drumkit.xml. Whatever it reads
// stays inside the kit's folder and within the reader's bounds.
#include "sound/HydrogenKitReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Kit kit;
    std::string why;
    if (!HydrogenKitReader::read(std::string_view(reinterpret_cast<const char *>(data), size), "/kit/", kit, why))
        return 0;
    if (kit.instruments.empty() || int(kit.instruments.size()) > HydrogenKitReader::kMaxInstruments)
        __builtin_trap();
    for (const Kit::Instrument &instrument : kit.instruments) {
        if (instrument.layers.empty() || int(instrument.layers.size()) > HydrogenKitReader::kMaxLayers)
            __builtin_trap();
        for (const Kit::Layer &layer : instrument.layers)
            if (layer.file.rfind("/kit/", 0) != 0 || layer.file.find("/../") != std::string::npos)
                __builtin_trap();
    }
    return 0;
}
