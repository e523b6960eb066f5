#include "audio/outputs/CushionSize.h"

#include <algorithm>

bool CushionSize::hole(std::int64_t nowNs)
{
    m_holeNs = nowNs;
    if (nowNs - m_grownNs < kSameHoleMs * 1'000'000 || m_frames >= m_ceiling)
        return false;
    m_frames = std::min(m_frames + m_step, m_ceiling);
    m_grownNs = nowNs;
    return true;
}

bool CushionSize::shrinkDue(std::int64_t nowNs) const
{
    return m_frames > m_quiet && nowNs - m_holeNs >= kCleanMs * 1'000'000 &&
        nowNs - m_shrunkNs >= kShrinkEveryMs * 1'000'000;
}

void CushionSize::shrink(std::int64_t nowNs)
{
    m_frames = std::max(m_frames - m_step, m_quiet);
    m_shrunkNs = nowNs;
}
