#pragma once

#include "audio/core/NoteTable.h"
#include "sound/Kit.h"

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

// A kit ready to play: every layer's sample decoded once at the output's
// rate (KitSampleDecoder), what each MIDI note plays and what each of the
// seven drum keys plays.
// - A note plays the instrument the kit gives it; else, by the General MIDI
//   map, the instrument of its drum key; else nothing of the kit's (the
//   built-in sound plays).
// - The drum keys V B J H G F K play the kit's kick, snare, closed hi-hat,
//   high tom, low tom, floor tom and crash: found by the General MIDI note
//   the kit gives them, else by name, in English or Italian ("Kick", "Bass
//   Drum", "Cassa"...); the user may choose another (withKey()). A key plays
//   its instrument's layer for velocity 100, as loud as a pad hit at 100
//   (Velocity::loudness()), at its pan.
// - A kit's choke groups become the hits' group bits (up to seven groups).
//
// What could not be loaded (a missing or undecodable file, one leaving the
// kit's folder, the kit over kMaxBytes of samples) is left out and said in
// skipped(). Built on a loader thread, never changed after; any thread reads.
class KitSounds
{
public:
    static constexpr std::size_t kMaxBytes = 768ULL * 1024 * 1024;
    static constexpr int kDrumKeys = 7;
    // The drum keys in the pad lights' order (DrumKeys).
    static constexpr std::array<std::uint8_t, kDrumKeys> kKeys = {'V', 'B', 'J', 'H', 'G', 'F', 'K'};
    static constexpr int kKeyVelocity = 100;

    struct Instrument
    {
        std::string name;
        std::vector<NoteTable::Layer> layers;
        bool stacked = false;
        float left = 1.0f;
        float right = 1.0f;
        std::uint8_t group = 0;
        std::uint8_t chokes = 0;
    };

    // `done`/`total`: samples decoded so far, told as they are; `cancel`
    // ends the load early (null returned). Blocks on the files.
    static std::shared_ptr<KitSounds> load(const Kit &kit, int outputRate,
                                           const std::function<void(int done, int total)> &progress = {},
                                           const std::atomic<bool> *cancel = nullptr);

    const Kit &kit() const { return m_kit; }
    const std::vector<Instrument> &instruments() const { return m_instruments; }
    // The instrument `note` plays (the kit's own, else by its drum key), or -1.
    int instrumentForNote(std::uint8_t note) const { return m_byNote[note & 0x7f]; }
    // The instrument drum key `index` (of kKeys) plays, or -1.
    int instrumentForKey(int index) const { return m_byKey[std::size_t(index)]; }
    // The same kit with drum key `index` playing `instrument` (-1: the
    // built-in sound); the samples are shared.
    std::shared_ptr<KitSounds> withKey(int index, int instrument) const;
    // The sound a drum key's sample file (PadTable: "v.wav"...) plays, or null.
    std::shared_ptr<const SampleBuffer> keySound(std::string_view file) const;
    // The instrument of `kit` drum key `index` would play, found by the
    // kit's notes and names alone (its samples unread), or -1.
    static int drumOf(const Kit &kit, int index);
    // Fills `entry` to play `instrument`.
    void fill(NoteTable::Entry &entry, int instrument) const;

    const std::vector<std::string> &skipped() const { return m_skipped; }
    std::size_t bytes() const { return m_bytes; }

private:
    static std::array<int, kDrumKeys> findDrums(const Kit &kit, const std::function<bool(std::size_t)> &playable);
    void findKeys();
    void makeKeySounds();
    void deriveNotes();

    Kit m_kit;
    std::vector<Instrument> m_instruments;
    std::array<int, 128> m_byNote{};
    std::array<int, kDrumKeys> m_byKey{};
    std::map<std::string, std::shared_ptr<const SampleBuffer>> m_keySounds;
    std::vector<std::string> m_skipped;
    std::size_t m_bytes = 0;
};
