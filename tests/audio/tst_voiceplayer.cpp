#include "audio/core/VoicePlayer.h"
#include "support/ClickDetector.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 256;
constexpr std::int64_t kStart = 5'000'000'000; // an arbitrary monotonic time

std::int64_t timeOfFrame(double frame)
{
    return kStart + std::int64_t(std::llround(frame * 1e9 / kRate));
}

std::shared_ptr<const SampleBuffer> level(float value, std::size_t frames)
{
    auto s = std::make_shared<SampleBuffer>();
    s->samples.assign(frames * 2, value);
    return s;
}

// A mono 110 Hz tone at `amplitude`, starting from zero.
std::shared_ptr<const SampleBuffer> lowTone(double amplitude, std::size_t frames)
{
    auto s = std::make_shared<SampleBuffer>();
    s->channels = 1;
    for (std::size_t i = 0; i < frames; ++i)
        s->samples.push_back(float(amplitude * std::sin(2 * 3.14159265 * 110.0 * double(i) / kRate)));
    return s;
}

std::unique_ptr<Playback> at(std::shared_ptr<const SampleBuffer> sample, std::int64_t onsetNs)
{
    auto p = std::make_unique<Playback>();
    p->sample = std::move(sample);
    p->onsetNs = onsetNs;
    return p;
}

// Drives a player as the audio thread would, with an exact or jittered clock,
// and keeps the left channel of everything it renders.
class OfflineOutput
{
public:
    explicit OfflineOutput(VoicePlayer &player, double jitterNs = 0, double rateError = 0)
        : m_player(player)
        , m_jitter(jitterNs)
        , m_rateError(rateError)
    {}

    // Renders blocks until `frame` (exclusive) has been produced.
    void renderUntil(std::int64_t frame)
    {
        std::vector<float> block(2 * kBlock);
        while (std::int64_t(left.size()) < frame) {
            const double ideal = double(left.size()) * (1.0 + m_rateError);
            const double jitter = m_jitter * m_random.generateDouble();
            m_player.render(block.data(), kBlock, timeOfFrame(ideal) + std::int64_t(jitter));
            for (int i = 0; i < kBlock; ++i) {
                left.push_back(block[2 * std::size_t(i)]);
                right.push_back(block[2 * std::size_t(i) + 1]);
            }
        }
    }

    std::int64_t firstNonZeroFrom(std::int64_t from) const
    {
        for (auto i = std::size_t(from); i < left.size(); ++i)
            if (left[i] != 0.0f)
                return std::int64_t(i);
        return -1;
    }

    std::vector<float> left;
    std::vector<float> right;

private:
    VoicePlayer &m_player;
    QRandomGenerator m_random{20261207}; // the same jitter on every run
    double m_jitter;
    double m_rateError;
};

} // namespace

class TestVoicePlayer : public QObject
{
    Q_OBJECT

private slots:
    void onsetFallsOnTheStampedFrame_data()
    {
        QTest::addColumn<int>("frame");
        QTest::newRow("inside the first block") << 100;
        QTest::newRow("last frame of a block") << 255;
        QTest::newRow("first frame of a block") << 256;
        QTest::newRow("mid-block, later") << 1000;
        QTest::newRow("many blocks on") << 12345;
    }

    void onsetFallsOnTheStampedFrame()
    {
        QFETCH(int, frame);
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        // Submitted early, played exactly at its frame, not at a block boundary.
        QVERIFY(!player.submit(at(level(0.5f, 1000), timeOfFrame(frame))));
        out.renderUntil(frame + 2000);
        QCOMPARE(out.firstNonZeroFrom(0), std::int64_t(frame));
        QCOMPARE(out.left[std::size_t(frame)], 0.5f);
        QCOMPARE(player.lateOnsets(), std::uint64_t(0));
    }

    void requestsTwoHundredMillisecondsApartStartExactlyTwoHundredMillisecondsApart_data()
    {
        QTest::addColumn<double>("jitterMs");
        QTest::addColumn<double>("rateError");
        QTest::newRow("exact clock") << 0.0 << 0.0;
        QTest::newRow("callbacks jittering by up to 2 ms") << 2.0 << 0.0;
        QTest::newRow("device clock 100 ppm fast") << 0.0 << -1e-4;
        QTest::newRow("device clock 100 ppm slow, callbacks jittering") << 2.0 << 1e-4;
    }

    void requestsTwoHundredMillisecondsApartStartExactlyTwoHundredMillisecondsApart()
    {
        // Onsets are stream times: a grid of 200 ms is a grid of 9600 frames,
        // to the frame, whatever the callbacks and the device's clock do.
        QFETCH(double, jitterMs);
        QFETCH(double, rateError);
        VoicePlayer player(kRate);
        OfflineOutput out(player, jitterMs * 1e6, rateError);
        out.renderUntil(kRate * 5); // let the clock settle
        const std::int64_t first = player.streamNs(timeOfFrame(double(kRate * 5) * (1.0 + rateError))) + 20'000'000;
        for (int step = 0; step < 8; ++step)
            player.submit(at(level(0.25f + 0.05f * float(step), 2000), first + step * 200'000'000LL));
        const std::int64_t from = std::int64_t(out.left.size());
        out.renderUntil(from + 9 * kRate / 5);
        std::vector<std::int64_t> onsets;
        std::int64_t onset = from;
        for (int step = 0; step < 8; ++step) {
            const float value = 0.25f + 0.05f * float(step);
            while (onset < std::int64_t(out.left.size()) && out.left[std::size_t(onset)] < value - 0.001f)
                ++onset;
            onsets.push_back(onset);
        }
        for (std::size_t i = 1; i < onsets.size(); ++i)
            QCOMPARE(onsets[i] - onsets[i - 1], std::int64_t(kRate / 5));
        QCOMPARE(player.lateOnsets(), std::uint64_t(0));
    }

    void streamTimeFollowsTheDevicesClock_data()
    {
        QTest::addColumn<double>("rateError");
        QTest::newRow("device clock exact") << 0.0;
        QTest::newRow("device clock 100 ppm fast") << -1e-4;
        QTest::newRow("device clock 100 ppm slow") << 1e-4;
    }

    void streamTimeFollowsTheDevicesClock()
    {
        // After ten minutes of a device clock 100 ppm off (60 ms), the stream
        // time read at the moment a block is asked for is still that block's
        // own time: the ticks that ask for sounds stay with the grid.
        QFETCH(double, rateError);
        VoicePlayer player(kRate);
        OfflineOutput out(player, 1e6, rateError);
        // Stream time, read when a block is asked for, less that block's own
        // stream time: the same after ten minutes as after five seconds.
        auto offset = [&] {
            const auto frame = std::int64_t(out.left.size());
            const std::int64_t asked = timeOfFrame(double(frame) * (1.0 + rateError));
            return player.streamNs(asked) - player.nsFor(frame);
        };
        out.renderUntil(std::int64_t(kRate) * 5);
        const std::int64_t early = offset();
        out.renderUntil(std::int64_t(kRate) * 600);
        const std::int64_t error = offset() - early;
        QVERIFY2(std::abs(error) < 500'000, qPrintable(QString("%1 ns").arg(error)));
    }

    void aStalledOutputCatchesUpWithTheMonotonicClock()
    {
        VoicePlayer player(kRate);
        std::vector<float> block(2 * kBlock);
        for (int i = 0; i < 100; ++i)
            player.render(block.data(), kBlock, timeOfFrame(i * kBlock));
        // Two seconds without a block (the sound server was away).
        const std::int64_t back = timeOfFrame(100 * kBlock) + 2'000'000'000;
        player.render(block.data(), kBlock, back);
        QVERIFY(std::abs(player.streamNs(back) - back) < 6'000'000);
        // A sound asked for now plays now, not two seconds of frames later.
        player.submit(at(level(0.5f, 100), back + 10'000'000));
        int blocks = 0;
        bool heard = false;
        for (; blocks < 10 && !heard; ++blocks) {
            player.render(block.data(), kBlock, back + (blocks + 1) * 5'333'333);
            heard = block[0] != 0.0f || block[2 * kBlock - 2] != 0.0f;
        }
        QVERIFY(heard);
        QVERIFY(blocks <= 4);
    }

    void fullScaleSoundsCutInQuickSuccessionStayWithinFullScale()
    {
        // Fades overlap the new sound: their sum must not pass full scale.
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(kBlock);
        for (int i = 0; i < 6; ++i)
            player.submit(at(level(i % 2 ? -1.0f : 1.0f, 5000), timeOfFrame(1000 + 20 * i)));
        for (int i = 0; i < 6; ++i)
            player.submit(at(level(1.0f, 5000), timeOfFrame(2000 + 20 * i)));
        out.renderUntil(8000);
        const auto [low, high] = std::minmax_element(out.left.begin(), out.left.end());
        QVERIFY2(*high<Limiter::kCeiling && * low> - Limiter::kCeiling,
                 qPrintable(QString("%1 %2").arg(*low).arg(*high)));
        QVERIFY(*high > Limiter::kThreshold); // turned down, still loud
    }

    void aNewRequestCutsTheOldWithAFade()
    {
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(kBlock);
        player.submit(at(level(0.5f, 10000), timeOfFrame(1000)));
        out.renderUntil(1500);
        player.submit(at(level(0.25f, 10000), timeOfFrame(2000)));
        out.renderUntil(4000);

        const int fade = player.fadeFrames();
        QCOMPARE(fade, 144); // 3 ms
        QCOMPARE(out.left[1999], 0.5f);
        // The new sound is at full level from its first frame; the old one
        // falls smoothly from full level to nothing over the fade.
        for (int i = 0; i < fade; ++i) {
            const float old = out.left[std::size_t(2000 + i)] - 0.25f;
            QVERIFY(old > 0.0f && old < 0.5f);
            if (i > 0)
                QVERIFY(old <= out.left[std::size_t(2000 + i - 1)] - 0.25f);
        }
        QVERIFY(out.left[2000] - 0.25f > 0.49f);
        QVERIFY(out.left[std::size_t(2000 + fade - 1)] - 0.25f < 0.001f);
        QCOMPARE(out.left[std::size_t(2000 + fade)], 0.25f);
        // No step larger than the new sound's own onset anywhere in the cut.
        for (int i = 2001; i < 2000 + fade; ++i)
            QVERIFY(std::abs(out.left[std::size_t(i)] - out.left[std::size_t(i - 1)]) < 0.02f);
    }

    void theCutIsNoClickWhereAHardCutWouldBe()
    {
        // A low mono tone at full level, cut at an arbitrary frame by
        // silence-led sound: with the fade no click; the same cut made hard
        // is one. Mono sounds the same on both sides, fade included.
        const auto tone = lowTone(0.7, 20000);
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        player.submit(at(tone, timeOfFrame(0)));
        out.renderUntil(2000);
        player.submit(at(level(0.0f, 5000), timeOfFrame(3000 + 37)));
        out.renderUntil(8000);
        QCOMPARE(ClickDetector::find(out.left).size(), std::size_t(0));
        QCOMPARE(out.right, out.left);
        QVERIFY(out.left[3037] != 0.0f); // the fade

        std::vector<float> hard(out.left.begin(), out.left.begin() + 3037);
        hard.resize(8000, 0.0f);
        QCOMPARE(ClickDetector::find(hard), std::vector<std::size_t>{3037});
    }

    void aRequestNotYetStartedIsCutByALaterOne()
    {
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(kBlock);
        player.submit(at(level(0.5f, 1000), timeOfFrame(3000)));
        out.renderUntil(2 * kBlock); // taken by the audio side, not started
        player.submit(at(level(0.25f, 1000), timeOfFrame(3100)));
        out.renderUntil(6000);
        QCOMPARE(out.firstNonZeroFrom(0), std::int64_t(3000));
        QCOMPARE(out.left[3099], 0.5f);
        QCOMPARE(out.left[std::size_t(3100 + player.fadeFrames())], 0.25f);
    }

    void anEarlierRequestArrivingLaterPlaysBeforeTheWaitingOne()
    {
        // A loop step asked for ahead of its beat, then a key pressed before
        // that beat: the key sounds, and the step cuts it on the beat.
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(kBlock);
        player.submit(at(level(0.25f, 5000), timeOfFrame(5000)));
        out.renderUntil(2 * kBlock);
        player.submit(at(level(0.5f, 5000), timeOfFrame(3000)));
        out.renderUntil(9000);
        QCOMPARE(out.firstNonZeroFrom(0), std::int64_t(3000));
        QCOMPARE(out.left[4999], 0.5f);
        QCOMPARE(out.left[std::size_t(5000 + player.fadeFrames())], 0.25f);
    }

    void aNewerRequestForTheSameFrameReplacesTheWaitingOne()
    {
        // The hyphen: "Laser.wav", then at once "trat.wav": you hear trat.
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(kBlock);
        player.submit(at(level(0.5f, 1000), timeOfFrame(3000)));
        player.submit(at(level(0.25f, 1000), timeOfFrame(3000)));
        out.renderUntil(6000);
        QCOMPARE(out.firstNonZeroFrom(0), std::int64_t(3000));
        QCOMPARE(*std::max_element(out.left.begin(), out.left.end()), 0.25f);
        QCOMPARE(player.takeRetired().size(), std::size_t(2));
    }

    void aWithdrawalDropsTheWaitingStepsOnly()
    {
        // Ferma before the beat: the step waiting for frame 5000 is dropped;
        // a key waiting for 3000 still sounds, and so does a step asked for
        // after the withdrawal.
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(kBlock);
        auto step = [](std::shared_ptr<const SampleBuffer> sound, std::int64_t frame, Playback::Kind kind) {
            auto p = at(std::move(sound), timeOfFrame(double(frame)));
            p->kind = kind;
            return p;
        };
        player.submit(step(level(0.5f, 1000), 3000, Playback::Kind::Sound));
        player.submit(step(level(0.25f, 1000), 5000, Playback::Kind::Step));
        out.renderUntil(2 * kBlock);
        player.submit(step(nullptr, 2000, Playback::Kind::Withdraw));
        player.submit(step(level(0.125f, 1000), 7000, Playback::Kind::Step));
        out.renderUntil(9000);
        QCOMPARE(out.firstNonZeroFrom(0), std::int64_t(3000));
        QCOMPARE(out.firstNonZeroFrom(4000), std::int64_t(7000));
        QCOMPARE(out.left[7000], 0.125f);
        QCOMPARE(player.takeRetired().size(), std::size_t(4)); // the withdrawal comes back too
    }

    void aFullQueueHandsTheRequestBack()
    {
        VoicePlayer player(kRate);
        auto last = level(0.5f, 100);
        for (std::size_t i = 0; i < VoicePlayer::kQueueCapacity; ++i)
            QVERIFY(!player.submit(at(level(0.25f, 100), kStart)));
        const auto back = player.submit(at(last, kStart));
        QVERIFY(back);
        QCOMPARE(back->sample, last);
    }

    void aLateRequestStartsAtOnce()
    {
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(10 * kBlock);
        player.submit(at(level(0.5f, 1000), timeOfFrame(100)));
        out.renderUntil(12 * kBlock);
        QCOMPARE(out.firstNonZeroFrom(0), std::int64_t(10 * kBlock));
        QCOMPARE(player.lateOnsets(), std::uint64_t(1));
    }

    void aSoundPlaysOnceAndEveryRequestComesBack()
    {
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(kBlock);
        for (int i = 0; i < 5; ++i) {
            player.submit(at(level(0.5f, 300), timeOfFrame(1000 + 1000 * i)));
            out.renderUntil(1000 + 1000 * i + 500);
        }
        out.renderUntil(8000);
        QCOMPARE(out.firstNonZeroFrom(5000 + 300), std::int64_t(-1));
        QCOMPARE(player.takeRetired().size(), std::size_t(5));
    }

    void midiHitsLayerAndChoke_data()
    {
        // Each request: a hit (h) or a key (k), its frame, level, gain and
        // choke group (1: the open hi-hat) and groups it chokes. Then what
        // comes out at a frame.
        QTest::addColumn<QString>("requests");
        QTest::addColumn<int>("frame");
        QTest::addColumn<float>("heard");
        QTest::newRow("a kick and a hi-hat on one frame both sound")
            << "h 3000 .25 1 0 0, h 3000 .125 1 0 0" << 3010 << 0.375f;
        QTest::newRow("a hit plays at its velocity's gain") << "h 3000 .5 .5 0 0" << 3010 << 0.25f;
        QTest::newRow("the closed hi-hat chokes the open one")
            << "h 3000 .25 1 1 0, h 4000 .125 1 0 1" << 4200 << 0.125f;
        QTest::newRow("a kick does not choke the open hi-hat")
            << "h 3000 .25 1 1 0, h 4000 .125 1 0 0" << 4200 << 0.375f;
        QTest::newRow("a key cuts a key, never a hit")
            << "h 3000 .25 1 0 0, k 3500 .4 1 0 0, k 4000 .125 1 0 0" << 4200 << 0.375f;
        QTest::newRow("a ninth hit cuts the oldest of eight")
            << "h 1000 .01 1 0 0, h 1100 .02 1 0 0, h 1200 .03 1 0 0, h 1300 .04 1 0 0, h 1400 .05 1 0 0, "
               "h 1500 .06 1 0 0, h 1600 .07 1 0 0, h 1700 .08 1 0 0, h 2000 .1 1 0 0"
            << 2200 << 0.45f;
    }

    void midiHitsLayerAndChoke()
    {
        QFETCH(QString, requests);
        QFETCH(int, frame);
        QFETCH(float, heard);
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        out.renderUntil(kBlock);
        for (const QString &request : requests.split(QStringLiteral(", "))) {
            const QStringList f = request.split(' ');
            auto p = at(level(f[2].toFloat(), 20000), timeOfFrame(f[1].toDouble()));
            p->gain = f[3].toFloat();
            p->group = std::uint8_t(f[4].toInt());
            p->chokes = std::uint8_t(f[5].toInt());
            if (f[0] == QLatin1String("h")) {
                p->kind = Playback::Kind::Hit;
                player.submitHit(std::move(p));
            } else {
                player.submit(std::move(p));
            }
        }
        out.renderUntil(frame + 1);
        QVERIFY(std::abs(out.left[std::size_t(frame)] - heard) < 1e-5f);
    }

    void drumsHitTogetherAreTurnedDownNeverClipped_data()
    {
        // Tones at these levels start on one frame, a key on the window's
        // voice and the rest as hits, at a velocity's gain of 1.
        QTest::addColumn<QList<double>>("levels");
        QTest::addColumn<bool>("unchanged");
        QTest::newRow("one hit at the kit's loudest passes to the sample") << QList<double>{0.708} << true;
        QTest::newRow("a key and a hit within the threshold pass unchanged") << QList<double>{0.4, 0.39} << true;
        QTest::newRow("kick, snare, crash, tom and hi-hat at full strength")
            << QList<double>{0.708, 0.708, 0.708, 0.708, 0.708} << false;
        QTest::newRow("sixteen hits on one frame") << QList<double>(16, 0.5) << false;
    }

    void drumsHitTogetherAreTurnedDownNeverClipped()
    {
        QFETCH(QList<double>, levels);
        QFETCH(bool, unchanged);
        // Each sum, played alone and then at three times the level: never at
        // full scale, the louder one louder.
        std::vector<float> peaks;
        for (const double scale : {1.0, 3.0}) {
            VoicePlayer player(kRate);
            OfflineOutput out(player);
            out.renderUntil(kBlock);
            for (int i = 0; i < levels.size(); ++i) {
                auto p = at(lowTone(levels[i] * scale, 12000), timeOfFrame(1000));
                p->kind = i == 0 ? Playback::Kind::Sound : Playback::Kind::Hit;
                i == 0 ? player.submit(std::move(p)) : player.submitHit(std::move(p));
            }
            out.renderUntil(14000);
            double sum = 0;
            for (double level : levels)
                sum += level * scale;
            float peak = 0;
            for (std::size_t f = 1000; f < 13000; ++f) {
                const float expected = float(sum * std::sin(2 * 3.14159265 * 110.0 * double(f - 1000) / kRate));
                if (unchanged && scale == 1.0 && std::abs(out.left[f] - expected) > 1e-5f)
                    QFAIL(qPrintable(QString("frame %1: %2, expected %3").arg(f).arg(out.left[f]).arg(expected)));
                peak = std::max(peak, std::abs(out.left[f]));
            }
            QVERIFY2(peak < Limiter::kCeiling, qPrintable(QString::number(peak)));
            QCOMPARE(ClickDetector::find(out.left).size(), std::size_t(0));
            peaks.push_back(peak);
        }
        QVERIFY2(peaks[1] > peaks[0], qPrintable(QString("%1 %2").arg(peaks[0]).arg(peaks[1])));
    }

    void closingFadesOutTheVoiceAndTheHits()
    {
        const auto tone = lowTone(0.6, 20000);
        VoicePlayer player(kRate);
        OfflineOutput out(player);
        player.submit(at(tone, timeOfFrame(0)));
        auto hit = at(tone, timeOfFrame(100));
        hit->gain = 0.5f;
        hit->kind = Playback::Kind::Hit;
        player.submitHit(std::move(hit));
        out.renderUntil(2000);
        QCOMPARE(player.framesQuiet(), std::int64_t(0));

        player.fadeOutForClose();
        out.renderUntil(8000);
        QCOMPARE(ClickDetector::find(out.left).size(), std::size_t(0));
        const std::size_t silentFrom = out.left.size() - std::size_t(player.framesQuiet());
        QCOMPARE(silentFrom, std::size_t(2048 + player.fadeFrames())); // from the first block after the call
    }

    void cutsFromAnotherThreadAreClean()
    {
        // A loader thread hammers the queue while this thread renders.
        VoicePlayer player(kRate);
        std::atomic<bool> done{false};
        std::atomic<int> submitted{0};
        std::thread loader([&] {
            auto sample = level(0.5f, 500);
            while (!done.load()) {
                player.submit(at(sample, 0));
                player.takeRetired();
                submitted.fetch_add(1);
                std::this_thread::yield();
            }
        });
        std::vector<float> block(2 * kBlock);
        for (int i = 0; i < 2000 || submitted.load() < 1000; ++i)
            player.render(block.data(), kBlock, timeOfFrame(i * kBlock));
        done.store(true);
        loader.join();
        QVERIFY(submitted.load() > 0);
        for (float v : block)
            QVERIFY(v >= 0.0f && v <= 0.5f * (1 + VoicePlayer::kMaxFading));
    }
};

QTEST_APPLESS_MAIN(TestVoicePlayer)
#include "tst_voiceplayer.moc"
