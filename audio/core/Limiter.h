#pragma once

// Keeps the mix of the window's voice and the MIDI hits under full scale
// without touching what never needed it. Each frame's peak (the louder of its
// two channels) feeds an envelope that rises at once and falls back over
// kReleaseMs; while the envelope is above kThreshold, both channels are
// scaled so that the envelope comes out on a soft knee that bends smoothly
// away from the straight line at kThreshold and nears kCeiling without ever
// reaching it. No look-ahead, so no delay:
// - a sound that peaks at or below kThreshold (any one sample of the kit,
//   whose loudest is at -3 dBFS, at any velocity) passes unchanged, to the
//   sample;
// - a louder sum comes out below kCeiling, and a louder sum louder than a
//   softer one (the knee only rises), so accents keep their order;
// - the gain is the same on both channels (the pan stays) and changes only
//   as the envelope does, so the sound is turned down, not clipped.
//
// process() never allocates, locks or logs: audio thread only.
class Limiter
{
public:
    static constexpr float kThreshold = 0.8f; // -1.9 dBFS
    static constexpr float kCeiling = 0.98f;  // -0.18 dBFS, never reached
    static constexpr double kReleaseMs = 80.0;

    explicit Limiter(int rate);

    // Audio thread: limits `frames` interleaved stereo frames in place.
    void process(float *stereo, int frames);

    // Any thread: the level a peak of `level` (≥ 0) comes out at.
    static float knee(float level);

private:
    float m_release;      // the envelope's fall, a frame
    float m_envelope = 0; // audio thread only
};
