#include "sound/KitSounds.h"

#include "keys/DrumMap.h"
#include "keys/Velocity.h"
#include "sound/KitSampleDecoder.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include <stdlib.h>

namespace {

// The notes a drum key's instrument has in General MIDI, best first, and
// words its name may have, best first (lower case); the toms apart.
struct Role
{
    std::array<int, 3> notes;
    std::vector<const char *> words;
};
const std::array<Role, KitSounds::kDrumKeys> &roles()
{
    static const std::array<Role, KitSounds::kDrumKeys> kRoles = {{
        {{36, 35, -1}, {"kick", "bass drum", "bassdrum", "cassa", "grancassa", "bd"}},
        {{38, 40, 37}, {"snare", "rullante", "sd", "clap"}},
        {{42, 44, 46},
         {"closed hat", "closed hi", "hihat closed", "hi-hat closed", "hh closed", "closed", "charleston chiuso",
          "hihat", "hi-hat", "hi hat", "hat", "charleston", "hh"}},
        {{-1, -1, -1}, {}}, // the toms: by their heights (tomHeight())
        {{-1, -1, -1}, {}},
        {{-1, -1, -1}, {}},
        {{49, 57, 55}, {"crash", "piatto", "cymbal", "china", "splash", "ride"}},
    }};
    return kRoles;
}

std::string lower(const std::string &s)
{
    return QString::fromStdString(s).toLower().toStdString();
}

// Whether `word` stands in `name` as a word (not inside another: "sd" is not in "wasd").
bool hasWord(const std::string &name, const std::string &word)
{
    for (std::size_t at = name.find(word); at != std::string::npos; at = name.find(word, at + 1)) {
        const bool startOk = at == 0 || !std::isalpha(static_cast<unsigned char>(name[at - 1]));
        const std::size_t end = at + word.size();
        const bool endOk = end >= name.size() || !std::isalpha(static_cast<unsigned char>(name[end]));
        if (startOk && endOk)
            return true;
    }
    return false;
}

std::pair<float, float> panGains(float pan)
{
    const float p = std::clamp(pan, -1.0f, 1.0f);
    return {std::min(1.0f, 1.0f - p), std::min(1.0f, 1.0f + p)};
}

std::shared_ptr<const std::array<float, 128>> curveOf(const std::vector<std::pair<int, float>> &points)
{
    if (points.empty())
        return nullptr;
    // Straight lines between the points; from velocity 0 at 0 and to 127 at 1 where not given.
    std::vector<std::pair<int, float>> all = points;
    if (all.front().first > 0)
        all.insert(all.begin(), {0, 0.0f});
    if (all.back().first < 127)
        all.emplace_back(127, 1.0f);
    auto curve = std::make_shared<std::array<float, 128>>();
    std::size_t segment = 0;
    for (int v = 0; v < 128; ++v) {
        while (segment + 1 < all.size() && all[segment + 1].first < v)
            ++segment;
        const auto &[v0, g0] = all[segment];
        const auto &[v1, g1] = all[std::min(segment + 1, all.size() - 1)];
        (*curve)[std::size_t(v)] = v1 == v0 ? g1 : g0 + (g1 - g0) * float(v - v0) / float(v1 - v0);
    }
    return curve;
}

} // namespace

std::shared_ptr<KitSounds> KitSounds::load(const Kit &kit, int outputRate,
                                           const std::function<void(int, int)> &progress,
                                           const std::atomic<bool> *cancel)
{
    auto sounds = std::make_shared<KitSounds>();
    KitSounds &k = *sounds;
    k.m_kit = kit;
    k.m_skipped = kit.skipped;
    int total = 0;
    for (const Kit::Instrument &instrument : kit.instruments)
        total += int(instrument.layers.size());

    // Choke groups to bits: the first seven groups that something is choked by.
    std::map<int, std::uint8_t> bits;
    for (const Kit::Instrument &instrument : kit.instruments)
        for (const int group : instrument.chokedBy)
            if (group != 0 && !bits.count(group) && bits.size() < 7)
                bits[group] = std::uint8_t(2u << bits.size());

    // A sample is read only where it really is inside the kit's folder
    // (a link may point anywhere).
    const std::string folder = kit.source.empty() ? std::string() : kit.source.substr(0, kit.source.rfind('/'));
    char *real = folder.empty() ? nullptr : ::realpath(folder.c_str(), nullptr);
    const std::string realFolder = real ? std::string(real) + "/" : std::string();
    std::free(real);
    const auto insideKit = [&](const std::string &file) {
        if (folder.empty())
            return true;
        char *resolved = ::realpath(file.c_str(), nullptr);
        if (!resolved)
            return true; // a missing file is said as missing
        const bool inside = !realFolder.empty() && std::string(resolved).rfind(realFolder, 0) == 0;
        std::free(resolved);
        return inside;
    };
    // Each file at each pitch decoded once.
    std::map<std::pair<std::string, int>, std::shared_ptr<const SampleBuffer>> decoded;
    std::set<std::string> failed;
    std::string unread; // instruments none of whose samples could be read
    int done = 0;
    for (const Kit::Instrument &from : kit.instruments) {
        Instrument instrument;
        instrument.name = from.name;
        instrument.stacked = from.stacked;
        std::tie(instrument.left, instrument.right) = panGains(from.pan);
        for (const int group : from.chokedBy)
            if (bits.count(group))
                instrument.group |= bits[group];
        if (bits.count(from.group))
            instrument.chokes = bits[from.group];
        for (const Kit::Layer &layer : from.layers) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return nullptr;
            if (progress)
                progress(done, total);
            ++done;
            if (int(instrument.layers.size()) >= NoteTable::kMaxLayers) {
                k.m_skipped.push_back("«" + from.name + "»: i livelli oltre i primi " +
                                      std::to_string(NoteTable::kMaxLayers));
                break;
            }
            const auto key = std::make_pair(layer.file, int(std::lround(layer.pitch * 100)));
            auto it = decoded.find(key);
            if (it == decoded.end()) {
                std::string why;
                std::shared_ptr<const SampleBuffer> sample;
                if (!insideKit(layer.file)) {
                    why = "un collegamento fuori dalla cartella del kit";
                } else if (k.m_bytes < kMaxBytes) {
                    // Played a semitone higher is read at a rate that much lower.
                    const double rate = outputRate / std::pow(2.0, double(layer.pitch) / 12.0);
                    sample = KitSampleDecoder::load(layer.file, int(std::lround(rate)), why);
                    if (sample && k.m_bytes + sample->samples.size() * sizeof(float) > kMaxBytes) {
                        sample = nullptr;
                        why = "oltre i " + std::to_string(kMaxBytes / (1024 * 1024)) + " MB di campioni di un kit";
                    }
                } else {
                    why = "oltre i " + std::to_string(kMaxBytes / (1024 * 1024)) + " MB di campioni di un kit";
                }
                if (sample)
                    k.m_bytes += sample->samples.size() * sizeof(float);
                else if (failed.insert(layer.file).second)
                    k.m_skipped.push_back(layer.file.substr(layer.file.rfind('/') + 1) + ": " + why);
                it = decoded.emplace(key, sample).first;
            }
            if (!it->second)
                continue;
            NoteTable::Layer out;
            out.sample = it->second;
            out.minVelocity = std::uint8_t(std::clamp(layer.minVelocity, 0, 127));
            out.maxVelocity = std::uint8_t(std::clamp(layer.maxVelocity, 0, 127));
            out.take = std::uint8_t(std::clamp(layer.roundRobin, 0, 255));
            out.gain = layer.gain * from.volume;
            out.curve = curveOf(layer.velocityCurve);
            instrument.layers.push_back(std::move(out));
        }
        if (instrument.layers.empty() && !from.layers.empty())
            unread += (unread.empty() ? "" : ", ") + from.name;
        k.m_instruments.push_back(std::move(instrument));
    }
    if (!unread.empty())
        k.m_skipped.push_back("nessun campione leggibile per: " + unread);
    if (progress)
        progress(total, total);
    k.findKeys();
    k.deriveNotes();
    k.makeKeySounds();
    return sounds;
}

namespace {

// How high a tom sounds, for telling the high, low and floor toms of a kit
// apart: its General MIDI note, else what its name says; -1: no tom.
double tomHeight(const Kit::Instrument &instrument)
{
    static constexpr int kTomNotes[] = {41, 43, 45, 47, 48, 50};
    static constexpr const char *kOthers[] = {"kick", "snare", "hat", "crash", "ride", "cymbal", "clap", "cassa"};
    const std::string name = lower(instrument.name);
    if (std::any_of(std::begin(kOthers), std::end(kOthers), [&](const char *w) { return hasWord(name, w); }))
        return -1;
    if (std::find(std::begin(kTomNotes), std::end(kTomNotes), instrument.note) != std::end(kTomNotes))
        return instrument.note;
    // "Tom", "Tom1", "tomhi2", not "Stomp".
    bool tom = hasWord(name, "timpano");
    for (std::size_t at = name.find("tom"); at != std::string::npos && !tom; at = name.find("tom", at + 1))
        tom = at == 0 || !std::isalpha(static_cast<unsigned char>(name[at - 1]));
    if (!tom)
        return -1;
    if (hasWord(name, "floor") || hasWord(name, "timpano"))
        return 40;
    if (hasWord(name, "low") || hasWord(name, "basso"))
        return 44;
    if (hasWord(name, "mid") || hasWord(name, "middle"))
        return 46;
    if (hasWord(name, "hi") || hasWord(name, "high") || hasWord(name, "alto"))
        return 49;
    // "Tom 1" above "Tom 2".
    const std::size_t digit = name.find_first_of("123456789");
    return digit == std::string::npos ? 46 : 48.5 - (name[digit] - '0');
}

} // namespace

std::array<int, KitSounds::kDrumKeys> KitSounds::findDrums(const Kit &kit,
                                                           const std::function<bool(std::size_t)> &playable)
{
    std::array<int, kDrumKeys> byKey{};
    byKey.fill(-1);
    std::vector<bool> taken(kit.instruments.size(), false);
    const auto claim = [&](std::size_t key, std::size_t i) {
        byKey[key] = int(i);
        taken[i] = true;
    };
    // The kick, the snare, the hi-hat and the crash by the kit's notes, then by name.
    static constexpr std::size_t kByName[] = {0, 1, 2, 6};
    for (const std::size_t key : kByName)
        for (const int note : roles()[key].notes)
            for (std::size_t i = 0; i < kit.instruments.size() && byKey[key] < 0 && note >= 0; ++i)
                if (kit.instruments[i].note == note && playable(i) && !taken[i])
                    claim(key, i);
    for (const std::size_t key : kByName)
        for (const char *word : roles()[key].words)
            for (std::size_t i = 0; i < kit.instruments.size() && byKey[key] < 0; ++i)
                if (!taken[i] && playable(i) && hasWord(lower(kit.instruments[i].name), word))
                    claim(key, i);
    // The toms from the highest: H the highest, G the next, F the lowest
    // (of two, the lower is F where it is a floor tom).
    std::vector<std::pair<double, std::size_t>> toms;
    for (std::size_t i = 0; i < kit.instruments.size(); ++i)
        if (const double height = tomHeight(kit.instruments[i]); height >= 0 && playable(i) && !taken[i])
            toms.emplace_back(height, i);
    std::stable_sort(toms.begin(), toms.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    constexpr std::size_t kHigh = 3, kLow = 4, kFloor = 5;
    if (!toms.empty())
        claim(kHigh, toms.front().second);
    if (toms.size() == 2)
        claim(toms.back().first <= 41 ? kFloor : kLow, toms.back().second);
    if (toms.size() >= 3) {
        claim(kLow, toms[1].second);
        claim(kFloor, toms.back().second);
    }
    return byKey;
}

void KitSounds::findKeys()
{
    m_byKey = findDrums(m_kit, [&](std::size_t i) { return !m_instruments[i].layers.empty(); });
}

int KitSounds::drumOf(const Kit &kit, int key)
{
    if (key < 0 || key >= kDrumKeys)
        return -1;
    return findDrums(kit, [&](std::size_t i) { return !kit.instruments[i].layers.empty(); })[std::size_t(key)];
}

void KitSounds::deriveNotes()
{
    m_byNote.fill(-1);
    for (std::size_t i = 0; i < m_kit.instruments.size(); ++i) {
        const int note = m_kit.instruments[i].note;
        if (note >= 0 && note < 128 && m_byNote[std::size_t(note)] < 0 && !m_instruments[i].layers.empty())
            m_byNote[std::size_t(note)] = int(i);
    }
    for (int note = 0; note < 128; ++note) {
        if (m_byNote[std::size_t(note)] >= 0)
            continue;
        const std::uint8_t key = DrumMap::generalMidi(std::uint8_t(note));
        const auto at = std::find(kKeys.begin(), kKeys.end(), key);
        if (at != kKeys.end())
            m_byNote[std::size_t(note)] = m_byKey[std::size_t(at - kKeys.begin())];
    }
}

void KitSounds::makeKeySounds()
{
    // The files the drum keys' pad rows play.
    static constexpr std::array<const char *, kDrumKeys> kFiles = {"v.wav", "b.wav", "J.wav", "h.wav",
                                                                   "g.wav", "f.wav", "k.wav"};
    m_keySounds.clear();
    for (std::size_t key = 0; key < kKeys.size(); ++key) {
        const int index = m_byKey[key];
        if (index < 0)
            continue;
        NoteTable::Entry entry;
        fill(entry, index);
        std::array<int, NoteTable::kMaxStacked> picked{};
        const int count = entry.pick(kKeyVelocity, 0, picked);
        std::size_t frames = 0;
        for (int i = 0; i < count; ++i)
            frames = std::max(frames, entry.layers[std::size_t(picked[std::size_t(i)])].sample->frames());
        if (frames == 0)
            continue;
        // The layers mixed at their gains and the pan: what the window's one voice plays.
        auto sound = std::make_shared<SampleBuffer>();
        sound->channels = 2;
        sound->samples.assign(frames * 2, 0.0f);
        for (int i = 0; i < count; ++i) {
            const NoteTable::Layer &layer = entry.layers[std::size_t(picked[std::size_t(i)])];
            // As loud as a pad hit at that velocity: a kit's samples peak near full scale.
            const float gain =
                layer.gain * (layer.curve ? (*layer.curve)[kKeyVelocity] : Velocity::loudness(kKeyVelocity));
            for (std::size_t f = 0; f < layer.sample->frames(); ++f) {
                sound->samples[2 * f] += gain * entry.left * layer.sample->at(f, 0);
                sound->samples[2 * f + 1] += gain * entry.right * layer.sample->at(f, 1);
            }
        }
        for (float &s : sound->samples)
            s = std::clamp(s, -1.0f, 1.0f);
        m_keySounds[kFiles[key]] = std::move(sound);
    }
}

std::shared_ptr<KitSounds> KitSounds::withKey(int index, int instrument) const
{
    auto copy = std::make_shared<KitSounds>(*this);
    if (index < 0 || index >= kDrumKeys)
        return copy;
    copy->m_byKey[std::size_t(index)] = instrument >= 0 && instrument < int(m_instruments.size()) &&
            !m_instruments[std::size_t(instrument)].layers.empty()
        ? instrument
        : -1;
    copy->deriveNotes();
    copy->makeKeySounds();
    return copy;
}

std::shared_ptr<const SampleBuffer> KitSounds::keySound(std::string_view file) const
{
    const auto it = m_keySounds.find(std::string(file));
    return it == m_keySounds.end() ? nullptr : it->second;
}

void KitSounds::fill(NoteTable::Entry &entry, int instrument) const
{
    entry.layerCount = 0;
    if (instrument < 0 || instrument >= int(m_instruments.size()))
        return;
    const Instrument &from = m_instruments[std::size_t(instrument)];
    for (const NoteTable::Layer &layer : from.layers)
        if (entry.layerCount < NoteTable::kMaxLayers)
            entry.layers[std::size_t(entry.layerCount++)] = layer;
    entry.stacked = from.stacked;
    entry.left = from.left;
    entry.right = from.right;
    entry.group = from.group;
    entry.chokes = from.chokes;
}
