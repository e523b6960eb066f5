#include "sound/KitLoader.h"

#include "audio/AudioEngine.h"
#include "audio/core/KeepForever.h"
#include "audio/core/Playback.h"
#include "audio/core/Worker.h"
#include "keys/Velocity.h"
#include "sound/KitArchive.h"
#include "sound/KitCatalog.h"
#include "sound/KitSounds.h"
#include "sound/SampleService.h"

#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <optional>

namespace {
Q_LOGGING_CATEGORY(lcKit, "tamvolo.kit", QtWarningMsg)
}

struct KitLoader::State : Worker
{
    std::shared_ptr<AudioEngine> engine;
    std::shared_ptr<SampleService> samples;
    int rate = 0;
    Listener told;
    // Under the worker's mutex: the next request (an empty path: the built-in kit).
    struct Request
    {
        std::string path;
        bool remember = true;
    };
    std::optional<Request> next;
    std::optional<std::string> previewed;      // the next kit to play a pad of
    std::vector<std::pair<int, int>> assigned; // drum keys given another instrument, in order
    std::atomic<bool> overtaken{false};

    void run();
    void serve(const Request &request);
    void playPreview(const std::string &path);
};

KitLoader::KitLoader(std::shared_ptr<AudioEngine> engine, std::shared_ptr<SampleService> samples, Listener told)
    : m_state(std::make_unique<State>())
{
    State &s = *m_state;
    s.engine = std::move(engine);
    s.samples = std::move(samples);
    s.rate = s.engine->rate();
    s.told = std::move(told);
    s.start([&s] { s.run(); });
}

KitLoader::~KitLoader()
{
    m_state->overtaken = true;
    if (!m_state->stopWithin(std::chrono::milliseconds(AudioEngine::kCloseMs)))
        keepForever(std::move(m_state)); // stuck in a file: left behind with what it uses
}

void KitLoader::load(const std::string &path, bool remember)
{
    State &s = *m_state;
    {
        // Under the lock: the worker clears the flag as it takes the request,
        // so set after that it would cancel the very load it asks for.
        const std::lock_guard lock(s.mutex);
        s.next = State::Request{path, remember};
        s.overtaken = true;
    }
    s.wake.notify_all();
}

void KitLoader::builtIn()
{
    load(std::string());
}

void KitLoader::preview(const std::string &path)
{
    State &s = *m_state;
    {
        const std::lock_guard lock(s.mutex);
        s.previewed = path;
    }
    s.wake.notify_all();
}

void KitLoader::assignKey(int index, int instrument)
{
    State &s = *m_state;
    {
        const std::lock_guard lock(s.mutex);
        s.assigned.emplace_back(index, instrument);
    }
    s.wake.notify_all();
}

void KitLoader::State::run()
{
    for (;;) {
        std::optional<Request> request;
        std::optional<std::string> pad;
        std::vector<std::pair<int, int>> keys;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stop || next.has_value() || previewed.has_value() || !assigned.empty(); });
            if (stop)
                return;
            std::swap(keys, assigned);
            std::swap(pad, previewed);
            if (!pad) {
                std::swap(request, next);
                overtaken = false;
            }
        }
        for (const auto &[index, instrument] : keys) {
            const auto kit = samples->kit();
            if (!kit)
                continue;
            auto changed = kit->withKey(index, instrument);
            const int plays = changed->instrumentForKey(index);
            KitCatalog::rememberKey(kit->kit().source, index,
                                    plays < 0 ? std::string() : changed->instruments()[std::size_t(plays)].name);
            samples->setKit(std::move(changed));
        }
        if (pad)
            playPreview(*pad);
        else if (request)
            serve(*request);
    }
}

void KitLoader::State::playPreview(const std::string &path)
{
    Kit kit;
    std::string why;
    if (path.empty()) {
        kit = Kit::builtIn();
    } else if (!KitCatalog::read(path, kit, why)) {
        return;
    }
    // Of each instrument the layer velocity 100 plays, of the first drum found alone.
    Kit one;
    for (Kit::Instrument &instrument : kit.instruments) {
        const auto layer = std::find_if(instrument.layers.begin(), instrument.layers.end(), [](const Kit::Layer &l) {
            return l.minVelocity <= KitSounds::kKeyVelocity && KitSounds::kKeyVelocity <= l.maxVelocity;
        });
        if (layer == instrument.layers.end())
            continue;
        const Kit::Layer keep = *layer;
        instrument.layers = {keep};
        one.instruments.push_back(instrument);
    }
    // The snare, the kick, the first: by the kit's notes and names, reading nothing.
    const int snare = KitSounds::drumOf(one, 1), kick = KitSounds::drumOf(one, 0);
    const int chosen = snare >= 0 ? snare : kick >= 0 ? kick : (one.instruments.empty() ? -1 : 0);
    if (chosen < 0)
        return;
    Kit drum;
    drum.instruments = {one.instruments[std::size_t(chosen)]};
    if (path.empty()) {
        // The built-in sounds are found by name, in the sample folders.
        Playback hit;
        hit.sample = samples->findBuiltIn(drum.instruments.front().layers.front().file);
        hit.gain = Velocity::loudness(KitSounds::kKeyVelocity);
        engine->playHit(hit, engine->nowNs());
        return;
    }
    const auto sounds = KitSounds::load(drum, rate);
    if (!sounds || sounds->instruments().empty() || sounds->instruments().front().layers.empty())
        return;
    Playback hit;
    hit.sample = sounds->instruments().front().layers.front().sample;
    hit.gain = sounds->instruments().front().layers.front().gain * Velocity::loudness(KitSounds::kKeyVelocity);
    hit.left = sounds->instruments().front().left;
    hit.right = sounds->instruments().front().right;
    engine->playHit(hit, engine->nowNs());
}

void KitLoader::State::serve(const Request &request)
{
    Told result;
    result.path = request.path;
    result.finished = true;
    if (request.path.empty()) {
        samples->setKit(nullptr);
        result.loaded = true;
        result.name = "Kit di Tamvolo";
        if (request.remember)
            KitCatalog::choose(std::string());
        qCDebug(lcKit) << "kit: the built-in one";
        if (told)
            told(result);
        return;
    }
    Kit kit;
    std::string path = KitCatalog::resolve(request.path);
    if (path.empty())
        result.why = "nessun kit ha quel nome, quella cartella o quel file";
    else if (KitArchive::isArchive(path))
        path = KitArchive::unpack(path, KitCatalog::ownFolder(), result.why, &result.skipped);
    if (path.empty() || !KitCatalog::read(path, kit, result.why)) {
        qCDebug(lcKit) << "kit" << request.path.c_str() << "not loaded:" << result.why.c_str();
        if (told)
            told(result);
        return;
    }
    result.name = kit.name;
    const auto progress = [&](int decoded, int total) {
        if (told && decoded < total) {
            Told step;
            step.path = request.path;
            step.done = decoded;
            step.total = total;
            step.name = kit.name;
            told(step);
        }
    };
    std::shared_ptr<KitSounds> sounds = KitSounds::load(kit, rate, progress, &overtaken);
    if (!sounds)
        return; // overtaken by a newer request
    // The instruments the user gave the drum keys of this kit before.
    for (const auto &given : KitCatalog::keysOf(path)) {
        const std::string &name = given.second;
        const auto &all = sounds->instruments();
        const auto it =
            std::find_if(all.begin(), all.end(), [&](const KitSounds::Instrument &i) { return i.name == name; });
        if (name.empty() || it != all.end())
            sounds = sounds->withKey(given.first, name.empty() ? -1 : int(it - all.begin()));
    }
    result.skipped.insert(result.skipped.end(), sounds->skipped().begin(), sounds->skipped().end());
    for (const std::string &line : result.skipped)
        qCDebug(lcKit) << "kit" << kit.name.c_str() << "skipped:" << line.c_str();
    if (kit.unknownOpcodes > 0)
        qCDebug(lcKit) << "kit" << kit.name.c_str() << ":" << kit.unknownOpcodes << "opcodes not known, skipped";
    const bool playable = std::any_of(sounds->instruments().begin(), sounds->instruments().end(),
                                      [](const KitSounds::Instrument &i) { return !i.layers.empty(); });
    if (!playable) {
        result.why = "nessuno dei suoi campioni si legge";
    } else {
        samples->setKit(sounds);
        result.loaded = true;
        if (request.remember)
            KitCatalog::choose(path);
        qCDebug(lcKit) << "kit" << kit.name.c_str() << "loaded:" << sounds->instruments().size() << "instruments,"
                       << sounds->bytes() / 1024 << "kB of samples";
    }
    if (told)
        told(result);
}
