#include "audio/core/VoicePlayer.h"
#include "audio/outputs/HoleFinder.h"

#include <QTest>

namespace {

constexpr int kRate = 48000;
constexpr std::int64_t kStepFrames = 9600;
constexpr std::int64_t kStart = 1'000'000'000;

std::int64_t nsOf(std::int64_t frames)
{
    return frames * 1'000'000'000 / kRate;
}

// A short click, so that each step's onset is the first sound after silence.
std::shared_ptr<const SampleBuffer> click()
{
    auto s = std::make_shared<SampleBuffer>();
    s->samples.assign(2 * 48, 0.5f);
    return s;
}

// What a listener hears while the program stalls once for `stallFrames`,
// its steps asked for on the grid of 200 ms. Two models of a server:
// - a PipeWire graph: cycles of `quantum` frames on time, each playing the
//   block the program rendered at the one before; the cycles the program
//   misses play silence, and its clock tells the program what it missed
//   (HoleFinder);
// - a PulseAudio server with prebuf 0: it reads on through the stall, then
//   asks the program for everything its read position passed and drops
//   what arrives too late for it.
// Returns the frames of the listener's timeline where the steps start.
std::vector<std::int64_t> heardSteps(bool pipeWire, int quantum, std::int64_t stallFrames)
{
    VoicePlayer player(kRate);
    player.streamStarted(true);
    HoleFinder holes(kRate);
    const auto sound = click();
    std::vector<float> heard(std::size_t(kRate) * 3, 0.0f);
    std::vector<float> block;
    std::int64_t nextStep = 0;
    // The steps, asked for a step ahead, each stamped with its beat.
    auto askSteps = [&](std::int64_t untilFrame) {
        for (; nextStep * kStepFrames <= untilFrame + kStepFrames; ++nextStep) {
            auto p = std::make_unique<Playback>();
            p->sample = sound;
            p->onsetNs = kStart + nsOf(kRate / 10 + nextStep * kStepFrames);
            p->kind = Playback::Kind::Step;
            player.submit(std::move(p));
        }
        player.takeRetired();
    };
    const std::int64_t stallAt = kRate + kRate / 20; // 1.05 s in
    auto render = [&](int frames, std::int64_t atFrame) {
        block.assign(std::size_t(frames) * 2, 0.0f);
        player.render(block.data(), frames, kStart + nsOf(atFrame));
    };
    auto listen = [&](std::int64_t from) {
        for (std::size_t i = 0; i < block.size() / 2 && from + std::int64_t(i) < std::int64_t(heard.size()); ++i)
            heard[std::size_t(from) + i] = block[2 * i];
    };
    if (pipeWire) {
        bool stalled = false;
        std::vector<float> queued;
        for (std::int64_t cycle = 0; cycle * quantum < std::int64_t(heard.size()); ++cycle) {
            const std::int64_t at = cycle * quantum;
            // The graph plays what was rendered at the cycle before, or nothing.
            block = queued;
            listen(at);
            queued.clear();
            stalled = at >= stallAt && at < stallAt + stallFrames;
            if (stalled)
                continue;
            askSteps(at);
            const std::int64_t lost =
                holes.cycle({std::uint64_t(at), 1, kRate, kStart + nsOf(at), kStart + nsOf(at), quantum});
            if (lost != 0)
                player.skip(lost);
            render(quantum, at);
            queued = block;
        }
    } else {
        constexpr int kBlock = 128;
        constexpr std::int64_t kCushion = 384;
        std::int64_t written = 0; // the write index, in frames
        for (std::int64_t read = 0; read < std::int64_t(heard.size()); read += kBlock) {
            if (read >= stallAt && read < stallAt + stallFrames)
                continue; // the server reads on: what it reads of ours is missing
            // The server asks for what its read position passed, then the cushion.
            while (written < read + kCushion) {
                askSteps(written);
                render(kBlock, read); // asked for as the read position moves

                if (written + kBlock > read)
                    listen(written); // what comes too late for the read position is dropped
                written += kBlock;
            }
        }
    }
    std::vector<std::int64_t> onsets;
    for (std::size_t i = 1; i < heard.size(); ++i)
        if (heard[i] != 0.0f && heard[i - 1] == 0.0f)
            onsets.push_back(std::int64_t(i));
    return onsets;
}

} // namespace

// A program held up for a while (the machine too busy to run it) leaves a hole
// in the sound, but every step after it comes on the beat of those before:
// the hole costs the frames it missed, not the grid.
class TestStalls : public QObject
{
    Q_OBJECT

private slots:
    void theStepsAfterAStallKeepTheirGrid_data()
    {
        QTest::addColumn<bool>("pipeWire");
        QTest::addColumn<int>("quantum");
        QTest::addColumn<int>("stallMs");
        QTest::newRow("PulseAudio, held up 10 ms") << false << 0 << 10;
        QTest::newRow("PulseAudio, held up 40 ms") << false << 0 << 40;
        QTest::newRow("PulseAudio, held up 150 ms") << false << 0 << 150;
        QTest::newRow("PulseAudio, held up 400 ms") << false << 0 << 400;
        for (int quanta = 1; quanta <= 5; ++quanta)
            QTest::addRow("PipeWire, %d quanta of 256 missed", quanta) << true << 256 << quanta * 256 * 1000 / kRate;
        QTest::newRow("PipeWire, 3 quanta of 1024 missed") << true << 1024 << 3 * 1024 * 1000 / kRate;
    }

    void theStepsAfterAStallKeepTheirGrid()
    {
        QFETCH(bool, pipeWire);
        QFETCH(int, quantum);
        QFETCH(int, stallMs);
        // A stall of whole cycles: the graph misses our cycles, not parts of them.
        const std::int64_t stallFrames =
            pipeWire ? std::int64_t(stallMs) * kRate / 1000 / quantum * quantum + quantum / 2 : stallMs * kRate / 1000;
        const std::vector<std::int64_t> onsets = heardSteps(pipeWire, quantum, stallFrames);
        QVERIFY(onsets.size() >= 10);
        const std::int64_t first = onsets.front();
        int afterTheStall = 0;
        for (const std::int64_t at : onsets) {
            QCOMPARE((at - first) % kStepFrames, std::int64_t(0));
            afterTheStall += at > kRate + kRate / 20 + stallFrames ? 1 : 0;
        }
        QVERIFY(afterTheStall >= 5);
    }
};

QTEST_GUILESS_MAIN(TestStalls)
#include "tst_stalls.moc"
