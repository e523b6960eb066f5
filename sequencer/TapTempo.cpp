#include "sequencer/TapTempo.h"

#include "keys/Tempo.h"

#include <algorithm>
#include <cmath>

std::optional<int> TapTempo::tap(std::int64_t nowNs)
{
    if (!m_taps.empty() && (nowNs - m_taps.back() > kPauseNs || nowNs <= m_taps.back()))
        m_taps.clear();
    m_taps.push_back(nowNs);
    if (m_taps.size() > kTapsAveraged)
        m_taps.erase(m_taps.begin());
    if (m_taps.size() < 2)
        return std::nullopt;
    const double stepNs = double(m_taps.back() - m_taps.front()) / double(m_taps.size() - 1);
    const int steps = int(std::lround(60e9 / stepNs));
    return std::clamp(steps, Tempo::kMinStepsPerMinute, Tempo::kMaxStepsPerMinute);
}
