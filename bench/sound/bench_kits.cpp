// Loads every kit the catalogue finds (Debian's Hydrogen drumkits where
// installed, the user's own), one after the other as a user would choose
// them, and says for each how long reading its file and decoding its samples
// took, the memory its samples take and the process grew by, what was
// skipped, and which instruments the seven drum keys found.
#include "audio/core/MonotonicClock.h"
#include "sound/KitCatalog.h"
#include "sound/KitSounds.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long residentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string only = argc > 1 ? argv[1] : "";
    const auto kits = KitCatalog::list();
    std::printf("%zu kits found\n", kits.size());
    double totalMs = 0;
    for (const KitCatalog::Entry &entry : kits) {
        if (!only.empty() && entry.name != only)
            continue;
        const long before = residentKb();
        const std::int64_t t0 = monotonicNs();
        Kit kit;
        std::string why;
        if (!KitCatalog::read(entry.path, kit, why)) {
            std::printf("%-28s not read: %s\n", entry.name.c_str(), why.c_str());
            continue;
        }
        const auto sounds = KitSounds::load(kit, 48000);
        const double ms = double(monotonicNs() - t0) / 1e6;
        totalMs += ms;
        std::string keys;
        for (int k = 0; k < KitSounds::kDrumKeys; ++k) {
            const int i = sounds->instrumentForKey(k);
            keys += std::string(1, char(KitSounds::kKeys[std::size_t(k)])) + "=" +
                (i < 0 ? std::string("-") : kit.instruments[std::size_t(i)].name) + (k + 1 < 7 ? ", " : "");
        }
        int layers = 0;
        for (const auto &instrument : sounds->instruments())
            layers += int(instrument.layers.size());
        std::printf("%-28s %3zu instruments, %3d layers: %7.0f ms, samples %6zu kB, process +%6ld kB, %zu skipped\n"
                    "    keys: %s\n",
                    entry.name.c_str(), kit.instruments.size(), layers, ms, sounds->bytes() / 1024,
                    residentKb() - before, sounds->skipped().size(), keys.c_str());
        for (const std::string &line : sounds->skipped())
            std::printf("    skipped: %s\n", line.c_str());
    }
    std::printf("all kits: %.1f s\n", totalMs / 1000);
}
