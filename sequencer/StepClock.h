#pragma once

#include "sequencer/StepLoop.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class QTimer;

// The loop's clock: wakes for whichever step is due next and says so, a
// little ahead of its beat, then says again when the beat comes.
//
// Every time is read from the clock passed in (the sound clock, in
// nanoseconds), so a step's sound can be stamped with its beat however late
// its turn comes. The clock owns the chain: at a step's turn it arms the
// next one, then says which step is due and the beat it stands for; the
// owner plays it. A beat missed by more than a step (the machine slept, the
// owner was held up) passes in silence and the chain keeps its grid.
//
// A QObject of the thread that owns it (the window's); not thread-safe.
class StepClock : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<std::int64_t()>;

    // How long before its beat a step is asked for. The request carries the
    // beat, so the sound still starts on it; asking early only lets a busy
    // machine be late by this much before the beat moves. The step reads the
    // pattern this much before it sounds.
    static constexpr std::int64_t kLeadNs = 30'000'000;

    explicit StepClock(Clock nowNs, QObject *parent = nullptr);

    // How long before its beat a step must be asked for at least, read at
    // each turn: where the output's blocks are long (a quantum of 2,048
    // frames) a block, its lead and the loader's time come to more than
    // kLeadNs, and a step asked for kLeadNs ahead would come late.
    void setAhead(Clock aheadNs) { m_ahead = std::move(aheadNs); }

    // Esegui: arms step 1 one interval from now, beside whatever is armed.
    void start();
    // Ferma: disarms every step; a beat asked for and not yet come is not
    // marked.
    void stop();

    // From the next step on, the loop keeps `tempo`.
    void setTempo(const Tempo &tempo);
    const Tempo &tempo() const { return m_loop.tempo(); }

    // The steps asked for whose beats are still to come: (step, beat).
    std::vector<std::pair<int, std::int64_t>> stepsToCome();

signals:
    // Step `step` (1 to 7) is due within kLeadNs, for the beat `beatNs`: the
    // owner plays it. The next step is armed already.
    void stepDue(int step, std::int64_t beatNs);
    // Step `step`'s beat has come; 0 when the loop stopped.
    void stepSounding(int step);

private:
    // The turn of `step`: arms the next step and returns the beat the step
    // stands for, which is marked "sounding" when it comes.
    std::int64_t tick(int step);
    void runDueSteps();
    void schedule();

    std::int64_t leadNs() const;

    Clock m_now;
    Clock m_ahead;
    StepLoop m_loop;
    QTimer *m_timer = nullptr;
    int m_generation = 0; // marks asked for before a stop are not shown
    std::vector<std::pair<int, std::int64_t>> m_asked;
};
