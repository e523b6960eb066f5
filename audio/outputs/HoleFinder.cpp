#include "audio/outputs/HoleFinder.h"

#include <algorithm>

std::int64_t HoleFinder::cycle(const Cycle &now)
{
    if (now.rateNum == 0 || now.rateDenom == 0 || now.frames <= 0)
        return 0;
    if (!m_known) {
        m_known = true;
        m_paused = false;
        m_last = now;
        m_followed = 0;
        m_lastTicksMoved = -1;
        m_sameMoves = 0;
        return 0;
    }
    const bool sameRate =
        std::uint64_t(now.rateNum) * m_last.rateDenom == std::uint64_t(m_last.rateNum) * now.rateDenom;
    const std::int64_t moved = now.ticks >= m_last.ticks ? std::int64_t(now.ticks - m_last.ticks) : 0;

    // Our frames the graph's time covers since the last cycle: by its ticks,
    // or, across a change of rate or a pause, by its cycles' times.
    std::int64_t covered = moved * m_rate * std::int64_t(now.rateNum) / std::int64_t(now.rateDenom);
    if (!sameRate || m_paused)
        covered = std::max<std::int64_t>(0, now.graphNs - m_last.graphNs) * m_rate / 1'000'000'000;
    const std::int64_t passed = std::max<std::int64_t>(0, now.nowNs - m_last.nowNs) * m_rate / 1'000'000'000;

    std::int64_t follow = 0;
    if (m_followed > 0 && moved == 0) {
        // The graph asks again within the cycle: its queue covered the hole
        // just followed, which is taken back.
        follow = -m_followed;
        m_holes.fetch_sub(1, std::memory_order_relaxed);
        m_skipped.fetch_sub(std::uint64_t(m_followed), std::memory_order_relaxed);
    }
    m_followed = 0;

    const std::int64_t beyond = covered - m_last.frames;
    if (moved > 0 && beyond >= now.frames - now.frames / 8 && passed - m_last.frames >= now.frames / 2) {
        follow = m_followed = beyond;
        m_holes.fetch_add(1, std::memory_order_relaxed);
        m_skipped.fetch_add(std::uint64_t(beyond), std::memory_order_relaxed);
    }
    m_paused = false;
    // The quantum shrank under the block we gave for the larger one: the
    // graph plays of it what its next cycle holds and drops the rest.
    if (moved > 0 && m_last.frames - now.frames >= std::max(now.frames / 2, 16)) {
        follow += now.frames - m_last.frames;
        m_dropped.fetch_add(std::uint64_t(m_last.frames - now.frames), std::memory_order_relaxed);
    }

    // The quantum: the ticks of kSameCycles cycles in a row.
    if (moved > 0) {
        m_sameMoves = moved == m_lastTicksMoved ? m_sameMoves + 1 : 0;
        m_lastTicksMoved = moved;
        if (m_sameMoves >= kSameCycles) {
            m_quantum.store(int(moved), std::memory_order_relaxed);
            m_graphRate.store(int(now.rateDenom / now.rateNum), std::memory_order_relaxed);
        }
    }
    m_last = now;
    return follow;
}
