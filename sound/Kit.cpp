#include "sound/Kit.h"

#include <algorithm>

Kit Kit::builtIn()
{
    // The seven drum keys' sounds, at the notes the General MIDI map gives them.
    struct Drum
    {
        const char *name;
        int note;
        const char *file;
    };
    static constexpr Drum kDrums[] = {
        {"Cassa", 36, "v.wav"},     {"Rullante", 38, "b.wav"}, {"Charleston", 42, "J.wav"},   {"Tom alto", 50, "h.wav"},
        {"Tom basso", 45, "g.wav"}, {"Timpano", 41, "f.wav"},  {"Piatto crash", 49, "k.wav"},
    };
    Kit kit;
    kit.name = "Kit di Tamvolo";
    kit.author = "Tamvolo";
    for (const Drum &drum : kDrums) {
        Instrument instrument;
        instrument.name = drum.name;
        instrument.note = drum.note;
        instrument.layers.push_back(Layer{1, 127, 1.0f, 0.0f, drum.file, 0, {}});
        kit.instruments.push_back(std::move(instrument));
    }
    return kit;
}

std::string Kit::inFolder(const std::string &folder, std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos)
        return {};
    for (std::size_t from = 0;;) {
        const std::size_t slash = name.find('/', from);
        if (name.substr(from, slash - from) == "..")
            return {};
        if (slash == std::string::npos)
            break;
        from = slash + 1;
    }
    return folder + name;
}
