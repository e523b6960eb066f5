#include "sound/MidiPlayer.h"

#include "audio/AudioEngine.h"
#include "audio/core/AudioLog.h"
#include "audio/core/KeepForever.h"
#include "audio/core/MidiHub.h"
#include "audio/core/Playback.h"
#include "audio/core/Worker.h"
#include "audio/inputs/MidiInput.h"
#include "files/CarefulReader.h"
#include "files/CarefulWriter.h"
#include "files/ConfigFile.h"
#include "keys/Cp1252.h"
#include "keys/DrumMap.h"
#include "keys/PadTable.h"
#include "keys/Velocity.h"
#include "sound/KitSounds.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace {

constexpr std::size_t kMaxMapBytes = 1024 * 1024;
// The open hi-hat's choke group.
constexpr std::uint8_t kOpenHiHatGroup = 1;
// How often the samples the notes play are looked at again.
constexpr auto kLookAgain = std::chrono::seconds(1);

// The file a key's hit plays: its pad row's last.
std::string fileFor(std::uint8_t key)
{
    const auto files = PadTable::lookup(key);
    return files.empty() ? std::string() : std::string(files.back());
}

char32_t characterOf(std::uint8_t key)
{
    return Cp1252::toUnicode(key).value_or(U'?');
}

} // namespace

struct MidiPlayer::State : Worker
{
    std::shared_ptr<AudioEngine> engine;
    std::unique_ptr<MidiInput> input;
    Listener heard;
    std::shared_ptr<SampleService> samples;
    std::string mapFile;
    MapListener mapWritten;

    // Under the worker's mutex.
    DrumMap map;
    bool mapRead = false;
    bool save = false;
    bool republish = false;

    void run();
    void play(const MidiInput::Hit &hit);
    void writeMap();
    // The note table the output's node plays from, published whole where
    // it differs from the last (a note taught, a sample changed on disk, a
    // large folder's index read since).
    void publishTable();
    // Fills the entry of `note`; what it plays, for the log.
    std::string fillEntry(NoteTable::Entry &entry, const DrumMap &now, const KitSounds *kit, std::uint8_t note);
    std::array<const SampleBuffer *, 128> published{};
    std::shared_ptr<const KitSounds> publishedKit;
    bool everPublished = false;
    std::shared_ptr<const NoteTable>
        current;                            // the last published, for the hits the node did not play (under the mutex)
    std::array<std::string, 128> described; // what each note of `current` plays (under the mutex)
    std::array<std::uint8_t, 128> turns{};  // each note's round-robin turn, where the player plays it
};

std::string MidiPlayer::defaultMapFile()
{
    return ConfigFile::path("midi-map");
}

MidiPlayer::MidiPlayer(std::shared_ptr<AudioEngine> engine, std::unique_ptr<MidiInput> input, Listener heard,
                       std::shared_ptr<SampleService> samples, std::string mapFile)
    : m_state(std::make_unique<State>())
{
    State &s = *m_state;
    s.engine = std::move(engine);
    s.input = std::move(input);
    s.heard = std::move(heard);
    s.samples = samples ? std::move(samples) : std::make_shared<SampleService>(s.engine->rate());
    s.mapFile = std::move(mapFile);
    s.start([&s] { s.run(); });
}

MidiPlayer::~MidiPlayer()
{
    State &s = *m_state;
    {
        const std::lock_guard lock(s.mutex);
        s.stop = true;
    }
    s.input->wake();
    if (!s.stopWithin(std::chrono::milliseconds(AudioEngine::kCloseMs)))
        keepForever(std::move(m_state)); // stuck in a file: left behind with what it uses
}

void MidiPlayer::learn(std::uint8_t note, std::uint8_t key)
{
    State &s = *m_state;
    {
        const std::lock_guard lock(s.mutex);
        s.map.learn(note, key);
        s.save = true;
        s.republish = true;
    }
    s.input->wake();
    qCDebug(lcMidi) << "note" << note << "now plays the key" << QString(QChar(characterOf(key)));
}

void MidiPlayer::forgetAll()
{
    State &s = *m_state;
    {
        const std::lock_guard lock(s.mutex);
        s.map = DrumMap();
        s.save = true;
        s.republish = true;
    }
    s.input->wake();
    qCDebug(lcMidi) << "every note plays the General MIDI map again";
}

void MidiPlayer::setMapListener(MapListener written)
{
    const std::lock_guard lock(m_state->mutex);
    m_state->mapWritten = std::move(written);
}

DrumMap MidiPlayer::map() const
{
    const std::lock_guard lock(m_state->mutex);
    return m_state->map;
}

MidiInput::Heard MidiPlayer::inputHeard() const
{
    return m_state->input->heard();
}

std::uint64_t MidiPlayer::lostHits() const
{
    return m_state->input->dropped();
}

std::uint8_t MidiPlayer::keyFor(std::uint8_t note) const
{
    State &s = *m_state;
    std::unique_lock lock(s.mutex);
    s.wake.wait_for(lock, std::chrono::seconds(1), [&s] { return s.mapRead; });
    return s.map.keyFor(note);
}

void MidiPlayer::State::writeMap()
{
    DrumMap now;
    MapListener told;
    {
        const std::lock_guard lock(mutex);
        if (!save)
            return;
        save = false;
        now = map;
        told = mapWritten;
    }
    if (mapFile.empty())
        return;
    MapWritten written{mapFile};
    // The user's own lines stay; a map that cannot be read is not replaced.
    std::string previous;
    const CarefulReader::Result read = CarefulReader::read(mapFile, previous, kMaxMapBytes);
    if (read != CarefulReader::Result::Read && read != CarefulReader::Result::Missing) {
        qCDebug(lcMidi) << "the MIDI map" << mapFile.c_str() << "could not be read, so it is not rewritten";
        written.unreadable = true;
    } else {
        written.result = ConfigFile::write(mapFile, now.text(previous));
        if (written.result != CarefulWriter::Result::Written)
            qCDebug(lcMidi) << "the MIDI map could not be written to" << mapFile.c_str();
    }
    if (told)
        told(written);
}

std::string MidiPlayer::State::fillEntry(NoteTable::Entry &entry, const DrumMap &now, const KitSounds *kit,
                                         std::uint8_t note)
{
    entry.key = now.keyFor(note);
    // A note taught plays its key's instrument; else the kit's for the note.
    int instrument = -1;
    if (kit) {
        const auto drum = std::find(KitSounds::kKeys.begin(), KitSounds::kKeys.end(), entry.key);
        if (now.taught(note))
            instrument =
                drum == KitSounds::kKeys.end() ? -1 : kit->instrumentForKey(int(drum - KitSounds::kKeys.begin()));
        else
            instrument = kit->instrumentForNote(note);
    }
    if (instrument >= 0) {
        kit->fill(entry, instrument);
        return kit->kit().name + ": " + kit->instruments()[std::size_t(instrument)].name;
    }
    const std::string file = fileFor(entry.key);
    if (!file.empty())
        entry.setSound(samples->find(file));
    entry.group = note == DrumMap::kOpenHiHat ? kOpenHiHatGroup : 0;
    entry.chokes = DrumMap::chokesOpenHiHat(note) ? kOpenHiHatGroup : 0;
    return file;
}

void MidiPlayer::State::publishTable()
{
    DrumMap now;
    bool taught = false;
    {
        const std::lock_guard lock(mutex);
        taught = republish;
        republish = false;
        now = map;
    }
    const std::shared_ptr<const KitSounds> kit = samples->kit();
    auto table = std::make_unique<NoteTable>();
    std::array<std::string, 128> what;
    for (int note = 0; note < 128; ++note) {
        what[std::size_t(note)] = fillEntry(table->notes[std::size_t(note)], now, kit.get(), std::uint8_t(note));
        table->gains[std::size_t(note)] = Velocity::loudness(std::uint8_t(note));
    }
    std::array<const SampleBuffer *, 128> sounds{};
    for (std::size_t note = 0; note < sounds.size(); ++note)
        sounds[note] = table->notes[note].layers[0].sample.get();
    if (everPublished && sounds == published && kit == publishedKit && !taught)
        return;
    published = sounds;
    publishedKit = kit;
    everPublished = true;
    {
        const std::lock_guard lock(mutex);
        current = std::make_shared<NoteTable>(*table);
        described = std::move(what);
    }
    engine->midiHub()->publish(std::move(table));
}

void MidiPlayer::State::play(const MidiInput::Hit &hit)
{
    std::uint8_t key = hit.key;
    std::shared_ptr<const NoteTable> table;
    std::string what;
    {
        const std::lock_guard lock(mutex);
        if (!hit.sounded)
            key = map.keyFor(hit.note.note);
        table = current;
        what = described[hit.note.note];
    }
    Heard told{hit.note.note, std::uint8_t(hit.note.channel + 1), hit.note.velocity, key, hit.monotonicNs};
    const NoteTable::Entry *entry = table ? &table->notes[hit.note.note] : nullptr;
    if (!entry || !entry->sounds()) {
        qCDebug(lcMidi) << "note" << hit.note.note << "channel" << told.channel << "velocity" << hit.note.velocity
                        << ": no sound mapped";
    } else if (hit.sounded) {
        qCDebug(lcMidi) << "note" << hit.note.note << "channel" << told.channel << "velocity" << hit.note.velocity
                        << ":" << what.c_str() << "(sounded in its cycle)";
    } else {
        std::array<int, NoteTable::kMaxStacked> layers{};
        const int picked = entry->pick(hit.note.velocity, turns[hit.note.note]++, layers);
        for (int i = 0; i < picked; ++i) {
            const NoteTable::Layer &layer = entry->layers[std::size_t(layers[std::size_t(i)])];
            Playback sound;
            sound.sample = layer.sample;
            sound.gain = table->gainOf(layer, hit.note.velocity);
            sound.left = entry->left;
            sound.right = entry->right;
            sound.group = entry->group;
            sound.chokes = entry->chokes;
            engine->playHit(sound, engine->streamNsAt(hit.monotonicNs));
        }
        qCDebug(lcMidi) << "note" << hit.note.note << "channel" << told.channel << "velocity" << hit.note.velocity
                        << ":" << what.c_str();
    }
    if (heard)
        heard(told);
}

void MidiPlayer::State::run()
{
    // The map the user taught, then the kit, loaded before their first hit
    // (or found read already for the keys).
    std::string text;
    if (!mapFile.empty()) {
        const CarefulReader::Result read = CarefulReader::read(mapFile, text, kMaxMapBytes);
        if (read != CarefulReader::Result::Read && read != CarefulReader::Result::Missing)
            qCDebug(lcMidi) << "the MIDI map" << mapFile.c_str() << "could not be read; the General MIDI map plays";
    }
    std::vector<DrumMap::Fault> faults;
    DrumMap taught = DrumMap::fromText(text, faults);
    for (const DrumMap::Fault &fault : faults)
        qCDebug(lcMidi) << mapFile.c_str() << "line" << fault.line << "skipped:" << fault.why.c_str();
    {
        const std::lock_guard lock(mutex);
        map = taught;
        mapRead = true;
    }
    wake.notify_all();
    publishTable();
    auto nextLook = std::chrono::steady_clock::now() + kLookAgain;

    for (;;) {
        {
            const std::lock_guard lock(mutex);
            if (stop)
                break;
        }
        MidiInput::Hit hit;
        if (input->waitForHit(hit, std::chrono::milliseconds(200)))
            play(hit);
        writeMap();
        bool changed = false;
        {
            const std::lock_guard lock(mutex);
            changed = republish;
        }
        if (changed || std::chrono::steady_clock::now() >= nextLook) {
            publishTable();
            nextLook = std::chrono::steady_clock::now() + kLookAgain;
        }
    }
}
