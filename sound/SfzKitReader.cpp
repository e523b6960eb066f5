#include "sound/SfzKitReader.h"

#include "files/CarefulReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

namespace {

using Opcodes = std::map<std::string, std::string>;

std::optional<double> numberOf(const std::string &text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A note as a number (0-127) or a name: c4 is 60, c#4 and db4 61.
std::optional<int> noteOf(std::string text)
{
    if (const auto n = numberOf(text))
        return *n >= 0 && *n <= 127 ? std::optional<int>(int(*n)) : std::nullopt;
    if (text.size() < 2)
        return std::nullopt;
    static constexpr int kSteps[] = {9, 11, 0, 2, 4, 5, 7}; // a b c d e f g
    const char letter = char(std::tolower(static_cast<unsigned char>(text[0])));
    if (letter < 'a' || letter > 'g')
        return std::nullopt;
    int note = kSteps[letter - 'a'];
    std::size_t at = 1;
    if (text[at] == '#') {
        ++note;
        ++at;
    } else if (text[at] == 'b' && at + 1 < text.size()) {
        --note;
        ++at;
    }
    const auto octave = numberOf(text.substr(at));
    if (!octave || *octave != std::floor(*octave) || *octave < -1 || *octave > 9)
        return std::nullopt;
    note += (int(*octave) + 1) * 12;
    return note >= 0 && note <= 127 ? std::optional<int>(note) : std::nullopt;
}

bool known(const std::string &opcode)
{
    static const char *const kKnown[] = {"sample",      "key",    "lokey",      "hikey",        "pitch_keycenter",
                                         "lovel",       "hivel",  "seq_length", "seq_position", "group",
                                         "off_by",      "volume", "pan",        "tune",         "transpose",
                                         "default_path"};
    if (opcode.rfind("amp_velcurve_", 0) == 0)
        return true;
    return std::find_if(std::begin(kKnown), std::end(kKnown), [&](const char *k) { return opcode == k; }) !=
        std::end(kKnown);
}

struct Region
{
    Opcodes opcodes;
};

} // namespace

bool SfzKitReader::read(std::string_view text, const std::string &folder, Kit &kit, std::string &why)
{
    if (text.size() > kMaxBytes) {
        why = "più grande di " + std::to_string(kMaxBytes / (1024 * 1024)) + " MB";
        return false;
    }
    // Comments out; then headers and opcodes. A value runs to the next
    // opcode or header: `sample` may hold spaces.
    std::string clean;
    clean.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n')
                ++i;
            clean += '\n';
        } else if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 1;
            clean += ' ';
        } else {
            clean += text[i] == '\r' || text[i] == '\t' ? ' ' : text[i];
        }
    }

    Opcodes control, global, group, *current = nullptr;
    std::vector<Region> regions;
    std::string header;
    std::size_t at = 0;
    const auto isSpace = [](char c) { return c == ' ' || c == '\n'; };
    while (at < clean.size()) {
        while (at < clean.size() && isSpace(clean[at]))
            ++at;
        if (at >= clean.size())
            break;
        if (clean[at] == '<') {
            const std::size_t end = clean.find('>', at);
            if (end == std::string::npos)
                break;
            header = clean.substr(at + 1, end - at - 1);
            at = end + 1;
            if (header == "region") {
                if (int(regions.size()) >= kMaxRegions) {
                    kit.skipped.push_back("le regioni oltre le prime " + std::to_string(kMaxRegions));
                    current = nullptr;
                    continue;
                }
                Region r;
                r.opcodes = global;
                for (const auto &[k, v] : group)
                    r.opcodes[k] = v;
                regions.push_back(std::move(r));
                current = &regions.back().opcodes;
            } else if (header == "group") {
                group.clear();
                current = &group;
            } else if (header == "global") {
                global.clear();
                group.clear();
                current = &global;
            } else if (header == "control") {
                current = &control;
            } else {
                current = nullptr; // <curve>, <effect>, <master>...: not read
                ++kit.unknownOpcodes;
            }
            continue;
        }
        const std::size_t equals = clean.find('=', at);
        const std::size_t lineEnd = clean.find('\n', at);
        if (equals == std::string::npos || (lineEnd != std::string::npos && lineEnd < equals)) {
            at = lineEnd == std::string::npos ? clean.size() : lineEnd + 1;
            continue; // not an opcode: skipped
        }
        std::string opcode = clean.substr(at, equals - at);
        while (!opcode.empty() && opcode.back() == ' ')
            opcode.pop_back();
        // The value ends where the next opcode (a word then '='), a header or the line ends.
        std::size_t end = equals + 1;
        std::size_t valueEnd = end;
        while (end < clean.size() && clean[end] != '\n' && clean[end] != '<') {
            if (clean[end] == ' ') {
                std::size_t word = end + 1;
                while (word < clean.size() && clean[word] != ' ' && clean[word] != '=' && clean[word] != '\n' &&
                       clean[word] != '<')
                    ++word;
                if (word < clean.size() && clean[word] == '=' && word > end + 1)
                    break;
            } else {
                valueEnd = end + 1;
            }
            ++end;
        }
        std::string value = clean.substr(equals + 1, valueEnd - equals - 1);
        while (!value.empty() && value.front() == ' ')
            value.erase(value.begin());
        at = end;
        if (!known(opcode)) {
            ++kit.unknownOpcodes;
            continue;
        }
        if (current)
            (*current)[opcode] = value;
    }

    const std::string defaultPath = control.count("default_path") ? control["default_path"] : std::string();
    // Instruments by key, in the order their keys first come.
    std::map<int, std::size_t> byKey;
    for (const Region &region : regions) {
        const Opcodes &o = region.opcodes;
        const auto value = [&](const char *k) { return o.count(k) ? o.at(k) : std::string(); };
        const auto number = [&](const char *k, double otherwise) { return numberOf(value(k)).value_or(otherwise); };
        // Clamped while still a double: a value past int's range is no number to cast.
        const auto whole = [&](const char *k, int otherwise, int lowest, int highest) {
            return int(std::clamp(number(k, otherwise), double(lowest), double(highest)));
        };
        const std::string sample = value("sample");
        const std::string file = Kit::inFolder(folder, defaultPath + sample);
        std::optional<int> lo = noteOf(value("lokey")), hi = noteOf(value("hikey"));
        if (const auto key = noteOf(value("key")))
            lo = hi = key;
        if (!lo || !hi) {
            const auto centre = noteOf(value("pitch_keycenter"));
            lo = hi = centre.value_or(-1);
        }
        if (sample.empty() || file.empty()) {
            kit.skipped.push_back(sample.empty() ? "una regione senza campione"
                                                 : "una regione con un campione fuori dalla cartella: " + sample);
            continue;
        }
        if (*lo < 0 || *hi < *lo) {
            kit.skipped.push_back("una regione senza tasto: " + sample);
            continue;
        }
        Kit::Layer layer;
        layer.file = file;
        layer.minVelocity = whole("lovel", 1, 1, 127);
        layer.maxVelocity = whole("hivel", 127, 0, 127);
        layer.gain = float(std::pow(10.0, std::clamp(number("volume", 0), -144.0, 6.0) / 20.0));
        layer.pitch = float(std::clamp(number("transpose", 0) + number("tune", 0) / 100.0, -24.0, 24.0));
        const int length = whole("seq_length", 1, 1, 100);
        if (length > 1)
            layer.roundRobin = std::min(whole("seq_position", 1, 1, 100), length);
        for (const auto &[k, v] : o) {
            if (k.rfind("amp_velcurve_", 0) != 0)
                continue;
            const auto velocity = numberOf(k.substr(13));
            const auto gain = numberOf(v);
            if (velocity && gain && *velocity >= 0 && *velocity <= 127)
                layer.velocityCurve.emplace_back(int(*velocity), float(std::clamp(*gain, 0.0, 1.0)));
        }
        std::sort(layer.velocityCurve.begin(), layer.velocityCurve.end());
        const float pan = float(std::clamp(number("pan", 0), -100.0, 100.0) / 100.0);
        const int groupNumber = whole("group", 0, -1000000, 1000000);
        const int offBy = whole("off_by", 0, -1000000, 1000000);
        for (int key = *lo; key <= *hi; ++key) {
            auto [it, added] = byKey.emplace(key, kit.instruments.size());
            if (added) {
                Kit::Instrument instrument;
                const std::string base = sample.substr(sample.find_last_of("/\\") + 1);
                instrument.name = base.substr(0, base.rfind('.')) + (*lo != *hi ? " " + std::to_string(key) : "");
                instrument.note = key;
                instrument.pan = pan;
                instrument.group = groupNumber;
                instrument.stacked = true;
                kit.instruments.push_back(std::move(instrument));
            }
            Kit::Instrument &instrument = kit.instruments[it->second];
            if (offBy != 0 &&
                std::find(instrument.chokedBy.begin(), instrument.chokedBy.end(), offBy) == instrument.chokedBy.end())
                instrument.chokedBy.push_back(offBy);
            Kit::Layer shifted = layer;
            // A region over several keys plays its sample a semitone per key from its centre.
            if (*lo != *hi) {
                const int centre = noteOf(value("pitch_keycenter")).value_or(*lo);
                shifted.pitch = std::clamp(layer.pitch + float(key - centre), -24.0f, 24.0f);
            }
            instrument.layers.push_back(std::move(shifted));
        }
    }
    if (kit.instruments.empty()) {
        why = "nessuna regione con un campione e un tasto";
        return false;
    }
    return true;
}

bool SfzKitReader::readFile(const std::string &path, Kit &kit, std::string &why)
{
    std::string text;
    if (CarefulReader::read(path, text, kMaxBytes) != CarefulReader::Result::Read) {
        why = "non si legge (manca, o è più grande di " + std::to_string(kMaxBytes / (1024 * 1024)) + " MB)";
        return false;
    }
    kit.source = path;
    const std::size_t slash = path.rfind('/');
    const std::string base = path.substr(slash + 1);
    kit.name = base.substr(0, base.rfind('.'));
    return read(text, slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1), kit, why);
}
