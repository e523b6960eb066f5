#pragma once

#include "audio/core/Playback.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Sounds waiting for their frame, in frame order, up to N: the window's voice
// and the MIDI hits keep one each. When full, the one due last gives way.
// insert() and the rest hand back what they drop, for the owner to retire.
// Audio thread only; never allocates.
template <int N> class WaitingList
{
public:
    enum class Ties { Replace, After };

    // `playback` to start on `frame`. Ties::Replace: a newer request for a
    // frame already taken wins it; Ties::After: both wait, the newer after.
    // `dropped` gets what gave way (or nullptr).
    void insert(Playback *playback, std::int64_t frame, Ties ties, Playback *&dropped)
    {
        dropped = nullptr;
        int at = 0;
        while (at < m_count &&
               (m_items[std::size_t(at)].frame < frame ||
                (ties == Ties::After && m_items[std::size_t(at)].frame == frame)))
            ++at;
        if (ties == Ties::Replace && at < m_count && m_items[std::size_t(at)].frame == frame) {
            dropped = m_items[std::size_t(at)].playback;
            m_items[std::size_t(at)].playback = playback;
            return;
        }
        if (m_count == N) {
            if (at == N) {
                dropped = playback;
                return;
            }
            dropped = m_items[std::size_t(N - 1)].playback;
            --m_count;
        }
        for (int i = m_count; i > at; --i)
            m_items[std::size_t(i)] = m_items[std::size_t(i - 1)];
        m_items[std::size_t(at)] = Item{playback, frame};
        ++m_count;
    }

    bool empty() const { return m_count == 0; }
    int size() const { return m_count; }
    // The first's frame, or `none` when empty.
    std::int64_t nextFrame(std::int64_t none) const { return m_count > 0 ? m_items[std::size_t(0)].frame : none; }
    // The first out of the list (not empty).
    Playback *popFront(std::int64_t &frame)
    {
        frame = m_items[std::size_t(0)].frame;
        Playback *first = m_items[std::size_t(0)].playback;
        for (int i = 1; i < m_count; ++i)
            m_items[std::size_t(i - 1)] = m_items[std::size_t(i)];
        m_items[std::size_t(--m_count)] = Item{};
        return first;
    }
    // Every item `drop(playback, frame)` says true for out of the list,
    // each handed to `dropped(playback)`.
    template <typename Drop, typename Dropped> void removeIf(Drop drop, Dropped dropped)
    {
        int kept = 0;
        for (int i = 0; i < m_count; ++i) {
            if (drop(m_items[std::size_t(i)].playback, m_items[std::size_t(i)].frame))
                dropped(m_items[std::size_t(i)].playback);
            else
                m_items[std::size_t(kept++)] = m_items[std::size_t(i)];
        }
        for (int i = kept; i < m_count; ++i)
            m_items[std::size_t(i)] = Item{};
        m_count = kept;
    }

private:
    struct Item
    {
        Playback *playback = nullptr;
        std::int64_t frame = 0;
    };
    std::array<Item, N> m_items{};
    int m_count = 0;
};
