#pragma once

#include "audio/core/MidiDecoder.h"
#include "audio/outputs/PipeWireOutput.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class MidiHub;
struct pw_filter;
struct pw_metadata;
struct pw_proxy;

// The output as one PipeWire node that also hears the pad: "Tamvolo", with
// two audio ports out (FL, FR) and the "MIDI in" port. Each cycle it reads
// the cycle's MIDI events first and starts each hit on its own frame in the
// block it renders then (the note table MidiHub holds, a spare Playback), so
// that a pad's hit sounds in the cycle it comes, as a JACK client's does; the
// notes go on to the MIDI player through the hub for the log and the lights.
//
// It shows as a playback stream (Stream/Output/Audio) in mixers and
// patchbays, and links itself to the default sink, following it when it
// changes, or to the sink a user moves it to (the target the mixer sets).
// It renders the graph's frames as they are, at kRate: where the graph runs
// at another rate, it gives way for the session to PipeWire's own stream
// (the graph converts it), and says so.
//
// open() and the link bookkeeping on the loop's thread may block (within
// kOpenMs); process() is the audio thread's and never allocates, frees,
// locks or logs.
class PipeWireNodeOutput : public PipeWireOutput
{
public:
    // The most frames a cycle renders; a larger quantum is rendered in
    // pieces.
    static constexpr int kMaxFrames = 8192;
    static constexpr int kMaxHitsPerCycle = 32;

    // True once a graph at another rate than kRate was met: the stream
    // serves from then on. Any thread.
    static bool gaveWay() { return s_otherRate.load(std::memory_order_relaxed) != 0; }

    explicit PipeWireNodeOutput(MidiHub &hub);
    ~PipeWireNodeOutput() override;

    bool open() override;
    std::string describe() const override;

protected:
    void closeNow() override;
    bool isOpen() const override { return m_filter != nullptr; }
    void reportOwn(std::vector<std::string> &lines) override;

private:
    struct Hooks;
    struct Sink
    {
        std::string name;
        std::string serial;
    };
    struct Port
    {
        std::uint32_t node = 0;
        std::string channel;
        bool out = false;
    };
    static void process(void *self, struct spa_io_position *position);
    PipeWireSession::Callbacks callbacks();
    void metadataFound(std::uint32_t id);
    int property(std::uint32_t subject, const char *key, const char *value);
    // The loop's thread: links our ports to the sink they should play on.
    void relink();
    std::uint32_t chosenSink() const;
    void unlink();
    // Audio thread: the cycle's MIDI events, as hits in the block.
    int hearPad(struct spa_io_position *position, int frames, VoicePlayer::BlockHit *hits);

    MidiHub &m_hub;
    pw_filter *m_filter = nullptr;
    void *m_left = nullptr;
    void *m_right = nullptr;
    void *m_midi = nullptr;
    std::unique_ptr<Hooks> m_hooks;

    // The loop's thread.
    std::map<std::uint32_t, Sink> m_sinks;
    std::map<std::uint32_t, Port> m_ports;
    pw_metadata *m_metadata = nullptr;
    std::uint32_t m_metadataId = 0;
    std::string m_defaultSink;
    std::string m_target;
    std::uint32_t m_linkedSink = 0xffffffffu;
    std::vector<pw_proxy *> m_links;

    // Audio thread.
    MidiDecoder m_decoder;
    std::array<std::uint8_t, 128> m_turns{}; // each note's round-robin turn (audio thread)
    std::vector<float> m_block;              // interleaved, kMaxFrames

    bool m_otherRateSaid = false; // the engine thread's
    // The rate of a graph that runs at another than kRate (0: none met).
    static std::atomic<std::uint32_t> s_otherRate;
};
