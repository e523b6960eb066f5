#include "audio/CushionGrowth.h"

#include <algorithm>

CushionGrowth::Verdict CushionGrowth::underrun(std::int64_t nowNs)
{
    const std::int64_t sinceLast = nowNs - m_lastNs;
    m_lastNs = nowNs;
    if (nowNs - m_holdUpNs <= kHoldUpMs * 1'000'000)
        return Verdict::SameHoldUp;
    m_holdUpNs = nowNs;
    if (sinceLast > kRepeatMs * 1'000'000)
        return Verdict::Alone;
    if (m_frames >= m_ceiling)
        return Verdict::AtCeiling;
    m_frames = std::min(m_frames + m_step, m_ceiling);
    return Verdict::Grown;
}
