#include "sound/AlertTone.h"
#include "sound/ApplicationFolder.h"
#include "sound/WavLoader.h"
#include "support/DropoutDetector.h"

#include <QTest>

namespace {

std::vector<float> kit(const char *file)
{
    const auto s = WavLoader::load(applicationFolder() + "/voc/" + file, 48000);
    return s ? s->stereo() : std::vector<float>();
}

// What a listener would have heard: each play's left channel from its frame
// until the next play.
std::vector<float> render(const std::vector<DropoutDetector::Play> &plays, std::size_t frames)
{
    std::vector<float> out(frames, 0.0f);
    for (std::size_t i = 0; i < plays.size(); ++i) {
        const auto end = i + 1 < plays.size() ? std::size_t(plays[i + 1].frame) : frames;
        const std::vector<float> &s = *plays[i].sample;
        for (auto f = std::size_t(plays[i].frame); f < end && 2 * (f - std::size_t(plays[i].frame)) < s.size(); ++f)
            out[f] = s[2 * (f - std::size_t(plays[i].frame))];
    }
    return out;
}

} // namespace

// The detector that judges what came out of a sound server: it must find a
// hole the server made, and nothing in sound that is whole.
class TestDropoutDetector : public QObject
{
    Q_OBJECT

    std::vector<float> m_kick = kit("v.wav");
    std::vector<float> m_hat = kit("J.wav");
    std::vector<float> m_crash = kit("k.wav");

private slots:
    void wholeSoundHasNoHoles_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("a loop of bass drums cut every 200 ms") << "kicks";
        QTest::newRow("hi-hats that end before the next, silence between") << "hats";
        QTest::newRow("a crash, a hi-hat, the alert chime, each cut") << "mixed";
    }

    void wholeSoundHasNoHoles()
    {
        QFETCH(QString, what);
        const auto alert = AlertTone::make(48000)->stereo();
        std::vector<DropoutDetector::Play> plays;
        for (int k = 0; k < 10; ++k) {
            const std::vector<float> *s = &m_kick;
            if (what == "hats")
                s = &m_hat;
            if (what == "mixed")
                s = k % 3 == 0 ? &m_crash : k % 3 == 1 ? &m_hat : &alert;
            plays.push_back({1000 + k * 9600, s});
        }
        const auto out = render(plays, 110000);
        QCOMPARE(DropoutDetector::find(out, plays).size(), std::size_t(0));
    }

    void aRunOfSilenceInsideASoundIsAHole_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("length");
        QTest::newRow("256 frames early in a kick") << 3000 << 256;
        QTest::newRow("a third of a millisecond, late in a kick") << 8000 << 16;
        QTest::newRow("a whole block in the third kick") << 1000 + 2 * 9600 + 500 << 1024;
    }

    void aRunOfSilenceInsideASoundIsAHole()
    {
        QFETCH(int, at);
        QFETCH(int, length);
        std::vector<DropoutDetector::Play> plays;
        for (int k = 0; k < 5; ++k)
            plays.push_back({1000 + k * 9600, &m_kick});
        auto out = render(plays, 60000);
        // The server ran dry: silence, and then the rest comes that much later.
        out.insert(out.begin() + at, std::size_t(length), 0.0f);
        out.resize(60000);
        const auto holes = DropoutDetector::find(out, plays);
        QCOMPARE(holes.size(), std::size_t(1));
        QCOMPARE(holes[0].frame, (long long)at);
        QVERIFY(holes[0].frames >= length);
    }

    void aRunShorterThanTheLimitIsNotCounted()
    {
        std::vector<DropoutDetector::Play> plays{{1000, &m_kick}};
        auto out = render(plays, 30000);
        std::fill(out.begin() + 5000, out.begin() + 5000 + DropoutDetector::kMinFrames - 1, 0.0f);
        QCOMPARE(DropoutDetector::find(out, plays).size(), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestDropoutDetector)
#include "tst_dropoutdetector.moc"
