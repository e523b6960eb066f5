#include "KitSynth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr double kRate = KitSynth::kRate;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

using Signal = std::vector<double>;

Signal silence(double seconds)
{
    return Signal(std::size_t(seconds * kRate), 0.0);
}

double timeOf(std::size_t i)
{
    return double(i) / kRate;
}

// Deterministic white noise in [-1, 1].
class Noise
{
public:
    explicit Noise(std::uint32_t seed)
        : m_state(seed)
    {}
    double next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return double(m_state) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t m_state;
};

// Second-order filter (the usual audio-cookbook forms).
class Biquad
{
public:
    static Biquad lowPass(double f, double q) { return make(f, q, 0); }
    static Biquad highPass(double f, double q) { return make(f, q, 1); }
    static Biquad bandPass(double f, double q) { return make(f, q, 2); }

    double process(double x)
    {
        const double y = m_b0 * x + m_b1 * m_x1 + m_b2 * m_x2 - m_a1 * m_y1 - m_a2 * m_y2;
        m_x2 = m_x1;
        m_x1 = x;
        m_y2 = m_y1;
        m_y1 = y;
        return y;
    }

    // Re-tunes without clearing the state (for sweeps).
    void retune(double f, double q, int kind) { *this = make(f, q, kind, this); }

private:
    static Biquad make(double f, double q, int kind, const Biquad *keep = nullptr)
    {
        Biquad b;
        if (keep) {
            b.m_x1 = keep->m_x1;
            b.m_x2 = keep->m_x2;
            b.m_y1 = keep->m_y1;
            b.m_y2 = keep->m_y2;
        }
        const double w = kTwoPi * std::min(f, kRate * 0.45) / kRate;
        const double alpha = std::sin(w) / (2.0 * q);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha;
        double b0 = 0, b1 = 0, b2 = 0;
        if (kind == 0) {
            b0 = (1 - c) / 2;
            b1 = 1 - c;
            b2 = (1 - c) / 2;
        } else if (kind == 1) {
            b0 = (1 + c) / 2;
            b1 = -(1 + c);
            b2 = (1 + c) / 2;
        } else {
            b0 = alpha;
            b2 = -alpha;
        }
        b.m_b0 = b0 / a0;
        b.m_b1 = b1 / a0;
        b.m_b2 = b2 / a0;
        b.m_a1 = -2 * c / a0;
        b.m_a2 = (1 - alpha) / a0;
        return b;
    }

    double m_b0 = 0, m_b1 = 0, m_b2 = 0, m_a1 = 0, m_a2 = 0;
    double m_x1 = 0, m_x2 = 0, m_y1 = 0, m_y2 = 0;
};

// ---- drums -----------------------------------------------------------------

// A drum head: a sine whose pitch falls from `start` to `end`, a second mode
// at 1.6 times the pitch, and a stick noise at the attack.
Signal drum(double seconds, double start, double end, double bend, double decay, double stick, std::uint32_t seed)
{
    Signal s = silence(seconds);
    Noise noise(seed);
    Biquad stickTone = Biquad::bandPass(2500, 0.8);
    double phase = 0, phase2 = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double f = end + (start - end) * std::exp(-t * bend);
        phase += kTwoPi * f / kRate;
        phase2 += kTwoPi * f * 1.59 / kRate;
        const double body =
            std::sin(phase) * std::exp(-t * decay) + 0.25 * std::sin(phase2) * std::exp(-t * decay * 2.5);
        const double hit = stick * stickTone.process(noise.next()) * std::exp(-t * 120);
        s[i] = std::tanh(1.3 * (body + hit));
    }
    return s;
}

Signal kick()
{
    return drum(0.45, 130, 48, 28, 7.5, 0.6, 11);
}

// Square-wave partials at inharmonic ratios: the classic metallic cymbal source.
double metal(double t)
{
    static constexpr double kFreqs[] = {263.0, 400.0, 421.0, 474.0, 587.0, 845.0};
    double v = 0;
    for (double f : kFreqs)
        v += std::sin(kTwoPi * f * 1.7 * t) > 0 ? 1.0 : -1.0;
    return v / 6.0;
}

Signal snare()
{
    Signal s = silence(0.32);
    Noise noise(23);
    Biquad hp = Biquad::highPass(1500, 0.7);
    Biquad lp = Biquad::lowPass(9000, 0.7);
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        phase += kTwoPi * (180 + 60 * std::exp(-t * 40)) / kRate;
        const double body = (std::sin(phase) + 0.5 * std::sin(phase * 1.85)) * std::exp(-t * 22);
        const double wires = lp.process(hp.process(noise.next())) * std::exp(-t * 13);
        // Driven into a soft clip, as a snare is often played and miked: the
        // wires' noise peaks rounded, so that it is as loud as the drums
        // beside it without passing the ceiling.
        s[i] = std::tanh(2.0 * (0.55 * body + 1.1 * wires));
    }
    return s;
}

Signal hiHat()
{
    Signal s = silence(0.12);
    Noise noise(37);
    Biquad hp = Biquad::highPass(7000, 0.7);
    Biquad bp = Biquad::bandPass(10000, 1.2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double src = 0.6 * metal(t) + 0.5 * noise.next();
        s[i] = bp.process(hp.process(src)) * std::exp(-t * 42);
    }
    return s;
}

Signal crash()
{
    Signal s = silence(2.0);
    Noise noise(41);
    Biquad hp = Biquad::highPass(3500, 0.6);
    Biquad lp = Biquad::lowPass(12000, 0.7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double src = 0.5 * metal(t * 1.13) + 0.7 * noise.next();
        const double env = std::exp(-t * 2.3) * (1.0 - std::exp(-t * 400));
        s[i] = lp.process(hp.process(src)) * env;
    }
    return s;
}

// ---- voice -----------------------------------------------------------------

struct Formants
{
    double f1, f2, f3;
};

// A sung tone: a glottal pulse (harmonics falling at 12 dB per octave, a gentle
// vibrato) through three formant resonators that may glide from `from` to `to`.
Signal sing(double seconds, double pitch, Formants from, Formants to, double glide, double attack, double release)
{
    Signal s = silence(seconds);
    Biquad r1 = Biquad::bandPass(from.f1, 6), r2 = Biquad::bandPass(from.f2, 9), r3 = Biquad::bandPass(from.f3, 11);
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double vib = 1.0 + 0.012 * std::sin(kTwoPi * 5.5 * t) * std::min(1.0, t / 0.15);
        phase += kTwoPi * pitch * vib / kRate;
        double source = 0;
        const int harmonics = int(4000 / pitch);
        for (int h = 1; h <= harmonics; ++h)
            source += std::sin(phase * h) / double(h * h) * (h == 1 ? 0.6 : 1.0);
        const double k = glide > 0 ? std::min(1.0, t / glide) : 1.0;
        if (i % 64 == 0) {
            r1.retune(from.f1 + (to.f1 - from.f1) * k, 6, 2);
            r2.retune(from.f2 + (to.f2 - from.f2) * k, 9, 2);
            r3.retune(from.f3 + (to.f3 - from.f3) * k, 11, 2);
        }
        double env = std::min(1.0, t / attack);
        env *= std::clamp((seconds - t) / release, 0.0, 1.0);
        s[i] = (r1.process(source) + 0.7 * r2.process(source) + 0.35 * r3.process(source)) * env;
    }
    return s;
}

constexpr Formants kA{800, 1250, 2600};
constexpr Formants kE{420, 2100, 2700};
constexpr Formants kOpenE{580, 1800, 2600};
constexpr Formants kI{300, 2300, 3000};
constexpr Formants kO{450, 850, 2600};
constexpr Formants kOpenO{600, 950, 2500};
constexpr Formants kU{330, 750, 2400};

Signal vowel(Formants f, double pitch)
{
    return sing(0.38, pitch, f, f, 0, 0.025, 0.09);
}

// A noise burst through a band: plosives and fricatives.
Signal hiss(double seconds, double centre, double q, double attack, double decay, std::uint32_t seed)
{
    Signal s = silence(seconds);
    Noise noise(seed);
    Biquad bp = Biquad::bandPass(centre, q);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        s[i] = bp.process(noise.next()) * std::min(1.0, t / attack) * std::exp(-t * decay);
    }
    return s;
}

// Lays `b` over `a` starting at `at` seconds, scaled by `gain`.
Signal mixAt(Signal a, const Signal &b, double at, double gain = 1.0)
{
    const auto offset = std::size_t(at * kRate);
    if (a.size() < offset + b.size())
        a.resize(offset + b.size(), 0.0);
    for (std::size_t i = 0; i < b.size(); ++i)
        a[offset + i] += gain * b[i];
    return a;
}

// Scales to unit peak, so that parts can be balanced by their gains.
Signal unit(Signal s)
{
    double peak = 0;
    for (double v : s)
        peak = std::max(peak, std::abs(v));
    if (peak > 0)
        for (double &v : s)
            v /= peak;
    return s;
}

// A short syllable: consonant, then a clipped vowel — typed words become a beat.
Signal syllable(const Signal &consonant, double vowelAt, Formants onset, Formants target, double pitch)
{
    const Signal tail = unit(sing(0.2, pitch, onset, target, 0.05, 0.008, 0.12));
    return mixAt(unit(consonant), tail, vowelAt, 0.9);
}

Signal trill(double seconds, double pitch)
{
    Signal s = unit(sing(seconds, pitch, {450, 1300, 2500}, {450, 1300, 2500}, 0, 0.005, 0.01));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] *= 0.5 + 0.5 * std::cos(kTwoPi * 28 * timeOf(i));
    return s;
}

// ---- effects ---------------------------------------------------------------

Signal stamp()
{
    Signal thud = drum(0.25, 95, 60, 40, 18, 0.0, 51);
    return mixAt(unit(thud), unit(hiss(0.05, 1800, 1.2, 0.0005, 90, 52)), 0.004, 0.7);
}

Signal explode()
{
    Signal s = silence(1.3);
    Noise noise(61);
    Biquad lp = Biquad::lowPass(3000, 0.8);
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        if (i % 32 == 0)
            lp.retune(150 + 3500 * std::exp(-t * 4), 0.8, 0);
        phase += kTwoPi * (40 + 40 * std::exp(-t * 10)) / kRate;
        const double rumble = lp.process(noise.next()) * 1.5;
        s[i] = std::tanh(2.0 * (rumble + 0.6 * std::sin(phase)) * std::exp(-t * 3.2) * std::min(1.0, t / 0.003));
    }
    return s;
}

Signal laser()
{
    Signal s = silence(0.3);
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double f = 300 + 2500 * std::exp(-t * 14);
        phase += kTwoPi * f / kRate;
        s[i] = std::sin(phase + 1.5 * std::sin(phase * 0.5)) * std::exp(-t * 6);
    }
    return s;
}

Signal slide()
{
    // "sla": a soft hiss sliding into an open vowel.
    Signal s = unit(hiss(0.09, 6000, 1.5, 0.02, 12, 71));
    return mixAt(s, unit(sing(0.18, 190, {380, 1200, 2500}, kA, 0.06, 0.01, 0.1)), 0.06, 0.9);
}

Signal nu()
{
    Signal nasal = unit(sing(0.08, 210, {250, 1500, 2500}, {250, 1500, 2500}, 0, 0.01, 0.02));
    return mixAt(Signal(nasal.begin(), nasal.end()), unit(sing(0.18, 210, {300, 1400, 2500}, kU, 0.04, 0.01, 0.1)),
                 0.06, 1.0);
}

Signal ratchet()
{
    // "trat": t, a rolled r, a, t.
    Signal s = unit(hiss(0.03, 4000, 1.0, 0.0005, 120, 81));
    s = mixAt(s, trill(0.07, 180), 0.02, 0.8);
    s = mixAt(s, unit(sing(0.12, 180, {500, 1300, 2500}, kA, 0.03, 0.005, 0.04)), 0.085, 0.9);
    return mixAt(s, unit(hiss(0.04, 4000, 1.0, 0.0005, 110, 82)), 0.22, 0.8);
}

// ---- finishing -------------------------------------------------------------

// Removes DC, softens both ends so the sound neither starts nor stops with a
// click, and normalizes the peak, or, for a drum, the loudness of its hit.
Signal finish(Signal s, double fadeInMs, double fadeOutMs, bool drum)
{
    Biquad hp = Biquad::highPass(20, 0.707);
    for (double &v : s)
        v = hp.process(v);

    const auto in = std::size_t(fadeInMs * kRate / 1000);
    const auto out = std::size_t(fadeOutMs * kRate / 1000);
    Signal window(s.size(), 1.0);
    for (std::size_t i = 0; i < in && i < s.size(); ++i)
        window[i] = double(i) / double(in);
    for (std::size_t i = 0; i < out && i < s.size(); ++i)
        window[s.size() - 1 - i] = std::min(window[s.size() - 1 - i], double(i) / double(out));

    // Faded, the sound may still lean to one side: take out what is left of
    // its mean in the shape of the window, so both ends stay at zero.
    double sum = 0, weight = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] *= window[i];
        sum += s[i];
        weight += window[i];
    }
    double peak = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] -= sum / weight * window[i];
        peak = std::max(peak, std::abs(s[i]));
    }
    const double ceiling = std::pow(10.0, KitSynth::kPeakDb / 20.0);
    double gain = ceiling / peak;
    if (drum) {
        const std::size_t hit = std::min(s.size(), std::size_t(KitSynth::kLoudnessMs * kRate / 1000));
        double energy = 0;
        for (std::size_t i = 0; i < hit; ++i)
            energy += s[i] * s[i];
        const double rms = std::sqrt(energy / double(hit));
        if (rms > 0)
            gain = std::min(gain, std::pow(10.0, KitSynth::kDrumRmsDb / 20.0) / rms);
    }
    for (double &v : s)
        v *= gain;
    return s;
}

} // namespace

std::vector<KitSynth::Sound> KitSynth::all()
{
    struct Recipe
    {
        const char *file;
        Signal signal;
        double fadeInMs;
        bool drum = false; // balanced by loudness
    };
    constexpr double pitch = 196; // G3
    const Formants closure{250, 1600, 2500};
    std::vector<Recipe> recipes;
    recipes.push_back({"v.wav", kick(), 0.3, true});
    recipes.push_back({"b.wav", snare(), 0.3, true});
    recipes.push_back({"J.wav", hiHat(), 0.3});
    recipes.push_back({"h.wav", drum(0.42, 260, 196, 30, 9, 0.35, 13), 0.3, true});
    recipes.push_back({"g.wav", drum(0.45, 200, 147, 30, 8, 0.35, 17), 0.3, true});
    recipes.push_back({"f.wav", drum(0.5, 140, 98, 26, 6.5, 0.35, 19), 0.3, true});
    recipes.push_back({"k.wav", crash(), 0.3});

    recipes.push_back({"a.wav", vowel(kA, pitch), 1});
    recipes.push_back({"e.wav", vowel(kE, pitch * 1.122), 1});
    recipes.push_back({"è.wav", vowel(kOpenE, pitch * 1.122), 1});
    recipes.push_back({"i.wav", vowel(kI, pitch * 1.335), 1});
    recipes.push_back({"o.wav", vowel(kO, pitch * 0.891), 1});
    recipes.push_back({"ò.wav", vowel(kOpenO, pitch * 0.891), 1});
    recipes.push_back({"u.wav", vowel(kU, pitch * 0.75), 1});

    recipes.push_back({"d.wav", syllable(hiss(0.012, 3000, 1.2, 0.0005, 200, 101), 0.008, closure, kE, pitch), 0.3});
    recipes.push_back({"l.wav",
                       syllable(sing(0.05, pitch, {360, 1000, 2600}, {360, 1000, 2600}, 0, 0.01, 0.01), 0.04,
                                {360, 1000, 2600}, kA, pitch),
                       1});
    recipes.push_back({"m.wav",
                       syllable(sing(0.07, pitch, {250, 1100, 2300}, {250, 1100, 2300}, 0, 0.01, 0.01), 0.06,
                                {300, 1100, 2400}, kA, pitch),
                       1});
    recipes.push_back({"n.wav",
                       syllable(sing(0.07, pitch, {250, 1700, 2500}, {250, 1700, 2500}, 0, 0.01, 0.01), 0.06,
                                {300, 1700, 2500}, kA, pitch),
                       1});
    recipes.push_back(
        {"p.wav", syllable(hiss(0.025, 900, 1.0, 0.0003, 150, 103), 0.018, {400, 900, 2400}, kA, pitch), 0.3});
    recipes.push_back(
        {"q.wav", syllable(hiss(0.03, 1800, 1.5, 0.0003, 130, 105), 0.022, {350, 1500, 2400}, kU, pitch), 0.3});
    recipes.push_back({"r.wav", syllable(trill(0.09, pitch), 0.08, {450, 1300, 2500}, kA, pitch), 1});
    recipes.push_back({"s.wav", hiss(0.16, 6500, 2.0, 0.02, 12, 107), 1});
    recipes.push_back(
        {"t.wav", syllable(hiss(0.02, 4200, 1.2, 0.0003, 160, 109), 0.015, {400, 1700, 2500}, kA, pitch), 0.3});
    recipes.push_back(
        {"x.wav",
         mixAt(unit(hiss(0.025, 1800, 1.5, 0.0003, 130, 111)), unit(hiss(0.12, 6500, 2.0, 0.01, 18, 112)), 0.02, 0.9),
         0.3});
    recipes.push_back({"z.wav",
                       mixAt(unit(hiss(0.15, 5500, 2.0, 0.005, 14, 113)),
                             unit(sing(0.15, pitch, closure, closure, 0, 0.005, 0.04)), 0.0, 0.5),
                       1});

    recipes.push_back({"Stamp.wav", stamp(), 0.3});
    recipes.push_back({"Explode.wav", explode(), 0.5});
    recipes.push_back({"Laser.wav", laser(), 1});
    recipes.push_back({"sla.wav", slide(), 1});
    recipes.push_back({"nu.wav", nu(), 1});
    recipes.push_back({"trat.wav", ratchet(), 0.3});

    std::vector<Sound> sounds;
    for (Recipe &r : recipes)
        sounds.push_back({r.file, finish(std::move(r.signal), r.fadeInMs, 5.0, r.drum)});
    return sounds;
}
