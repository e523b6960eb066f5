#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class AudioEngine;
class SampleService;

// Loads the kit a user chose, off the UI thread, into the sound service the
// keys and the hits play from: the kit's file is read, its samples decoded
// (KitSounds), then the kit takes over; a kit that fails leaves the one
// playing as it was. A newer request overtakes one under way (which stops
// at its next sample). The choice that loaded is remembered (KitCatalog).
//
// `told` is called on the loader's thread: with progress while a kit loads
// (done < total), then once with its result.
//
// preview() plays a kit's snare (else its kick, else its first instrument)
// at velocity 100 on a hit voice of the engine's, reading that one sample
// alone, without changing the kit that plays.
//
// load(), builtIn() and preview() never block; closing waits at most
// AudioEngine::kCloseMs for a file that does not answer, then leaves the
// loader behind.
class KitLoader
{
public:
    struct Told
    {
        std::string path;
        int done = 0;
        int total = 0;
        bool finished = false;
        bool loaded = false; // finished: the kit plays now
        std::string name;    // its name
        std::string why;     // finished without loading: why
        std::vector<std::string> skipped;
    };
    using Listener = std::function<void(const Told &)>;

    KitLoader(std::shared_ptr<AudioEngine> engine, std::shared_ptr<SampleService> samples, Listener told);
    ~KitLoader();

    KitLoader(const KitLoader &) = delete;
    KitLoader &operator=(const KitLoader &) = delete;

    // The kit `what` names (KitCatalog::resolve(): a file, a folder or a
    // kit's name), remembered as the choice when `remember`.
    void load(const std::string &path, bool remember = true);
    // The built-in kit again, remembered.
    void builtIn();
    // Plays a pad of the kit of `path` (empty: the built-in kit's snare).
    void preview(const std::string &path);
    // From now on drum key `index` (KitSounds::kKeys) plays instrument
    // `instrument` of the kit that plays (-1: its built-in sound).
    void assignKey(int index, int instrument);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
