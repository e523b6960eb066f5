#include "sound/TakeEditor.h"

#include <QTest>

#include <cmath>
#include <numbers>

namespace {

constexpr int kRate = 48000;

// `ms` milliseconds of a 440 Hz tone at `level`, on `offset`.
std::vector<float> tone(double ms, double level, double offset = 0.0)
{
    std::vector<float> v(std::size_t(ms * kRate / 1000));
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = float(offset + level * std::sin(2 * std::numbers::pi * 440.0 * double(i) / kRate));
    return v;
}

std::vector<float> join(std::initializer_list<std::vector<float>> parts)
{
    std::vector<float> all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

double peakOf(const std::vector<float> &v)
{
    double peak = 0;
    for (const float s : v)
        peak = std::max(peak, double(std::abs(s)));
    return peak;
}

} // namespace

// A recorded take made into a sample: trimmed, centred, normalised, faded.
class TestTakeEditor : public QObject
{
    Q_OBJECT

private slots:
    void theSoundIsKeptWithFiveMillisecondsBeforeIt_data()
    {
        QTest::addColumn<double>("leadMs");  // silence before the sound
        QTest::addColumn<double>("trailMs"); // and after it
        QTest::addColumn<double>("noise");   // level of the silence
        QTest::newRow("half a second of silence each side") << 500.0 << 500.0 << 0.0;
        QTest::newRow("room noise at -50 dBFS counts as silence") << 300.0 << 800.0 << 0.00316;
        QTest::newRow("the sound from the first frame: nothing to keep before it") << 0.0 << 200.0 << 0.0;
        QTest::newRow("2 ms of silence before: all of it kept") << 2.0 << 0.0 << 0.0;
    }

    void theSoundIsKeptWithFiveMillisecondsBeforeIt()
    {
        QFETCH(double, leadMs);
        QFETCH(double, trailMs);
        QFETCH(double, noise);
        // The noise is a tone too: a take's hum, below the threshold.
        const auto take = join({tone(leadMs, noise), tone(250, 0.3), tone(trailMs, noise)});
        const auto edited = TakeEditor::edit(take);
        QVERIFY(edited);
        const double kept = std::min(leadMs, 5.0);
        const double expectedMs = kept + 250.0;
        QVERIFY2(std::abs(double(edited->size()) - expectedMs * 48) <= 48, qPrintable(QString::number(edited->size())));
    }

    void thePeakIsMinusThreeDecibels_data()
    {
        QTest::addColumn<double>("level");
        QTest::newRow("a quiet take is raised") << 0.05;
        QTest::newRow("a loud one lowered") << 0.99;
    }

    void thePeakIsMinusThreeDecibels()
    {
        QFETCH(double, level);
        const auto edited = TakeEditor::edit(join({tone(100, 0), tone(300, level), tone(100, 0)}));
        QVERIFY(edited);
        QVERIFY(std::abs(peakOf(*edited) - std::pow(10.0, -3.0 / 20.0)) < 0.002);
    }

    void anOffsetIsRemoved()
    {
        // A microphone's DC offset of 0.2: the sample is centred on zero
        // (and the offset alone is no sound).
        const auto edited = TakeEditor::edit(join({tone(200, 0, 0.2), tone(400, 0.3, 0.2), tone(200, 0, 0.2)}));
        QVERIFY(edited);
        double sum = 0;
        for (const float s : *edited)
            sum += s;
        QVERIFY(std::abs(sum / double(edited->size())) < 0.01);
        QVERIFY(edited->size() < std::size_t(420 * 48)); // the offset's silence trimmed
    }

    void bothEndsFadeToSilence()
    {
        const auto edited = TakeEditor::edit(tone(300, 0.5, 0.0));
        QVERIFY(edited);
        QCOMPARE(edited->front(), 0.0f);
        QCOMPARE(edited->back(), 0.0f);
        // Within the 1 ms fade-in the level grows; past it, full level.
        QVERIFY(std::abs((*edited)[24]) <= 0.5f * 0.71f);
        QVERIFY(peakOf(std::vector<float>(edited->begin() + 48, edited->end() - 240)) > 0.70);
    }

    void aTakeWithNoSoundIsRefused_data()
    {
        QTest::addColumn<std::vector<float>>("take");
        QTest::newRow("nothing recorded") << std::vector<float>();
        QTest::newRow("digital silence") << std::vector<float>(48000, 0.0f);
        QTest::newRow("noise below -45 dBFS") << tone(1000, 0.005);
        QTest::newRow("a DC offset alone") << tone(1000, 0.0, 0.3);
        QTest::newRow("not numbers") << std::vector<float>(4800, std::nanf(""));
    }

    void aTakeWithNoSoundIsRefused()
    {
        QFETCH(std::vector<float>, take);
        QVERIFY(!TakeEditor::edit(take));
    }
};

QTEST_GUILESS_MAIN(TestTakeEditor)
#include "tst_takeeditor.moc"
