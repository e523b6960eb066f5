#include "audio/core/MidiHub.h"

#include "audio/core/Playback.h"

#include <algorithm>

MidiHub::~MidiHub()
{
    Playback *p = nullptr;
    while (m_spares.pop(p))
        delete p;
    while (m_givenBack.pop(p))
        delete p;
}

void MidiHub::fromSource(const Hit &hit)
{
    if (m_fromSource.push(hit))
        m_ready.release();
    else
        m_dropped.fetch_add(1, std::memory_order_relaxed);
}

void MidiHub::fromNode(const Hit &hit)
{
    if (m_fromNode.push(hit))
        m_ready.release();
    else
        m_dropped.fetch_add(1, std::memory_order_relaxed);
}

bool MidiHub::next(Hit &hit, std::chrono::milliseconds limit)
{
    if (m_fromNode.pop(hit) || m_fromSource.pop(hit))
        return true;
    if (!m_ready.try_acquire_for(limit))
        return false;
    return m_fromNode.pop(hit) || m_fromSource.pop(hit);
}

void MidiHub::publish(std::unique_ptr<NoteTable> table)
{
    table->generation = ++m_generation;
    m_table.store(table.get(), std::memory_order_release);
    m_tables.push_back(std::move(table));
    // The audio thread loads the table before it says which it holds: every
    // table older than the one it said is no longer read.
    const std::uint64_t seen = m_tableSeen.load(std::memory_order_acquire);
    std::erase_if(m_tables, [&](const std::unique_ptr<NoteTable> &t) {
        return t->generation < seen && t->generation != m_generation;
    });
}

const NoteTable *MidiHub::tableForCycle()
{
    const NoteTable *table = m_table.load(std::memory_order_acquire);
    if (table)
        m_tableSeen.store(table->generation, std::memory_order_release);
    return table;
}

void MidiHub::refill()
{
    Playback *p = nullptr;
    while (m_givenBack.pop(p)) {
        *p = Playback{};
        p->kind = Playback::Kind::Hit;
        if (m_spares.push(p))
            m_sparesReady.fetch_add(1, std::memory_order_relaxed);
        else
            delete p;
    }
    // Those taken went to the voices, which retire them through the player.
    while (m_sparesReady.load(std::memory_order_relaxed) < kSpares) {
        auto fresh = std::make_unique<Playback>();
        fresh->kind = Playback::Kind::Hit;
        if (!m_spares.push(fresh.get()))
            break;
        fresh.release();
        m_sparesReady.fetch_add(1, std::memory_order_relaxed);
    }
}

Playback *MidiHub::spare()
{
    Playback *p = nullptr;
    if (!m_spares.pop(p))
        return nullptr;
    m_sparesReady.fetch_sub(1, std::memory_order_relaxed);
    return p;
}

void MidiHub::giveBack(Playback *playback)
{
    if (playback && !m_givenBack.push(playback)) {
        // Full: kept out of the audio thread's hands without freeing.
    }
}
