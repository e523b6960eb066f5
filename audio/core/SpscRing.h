#pragma once

#include <array>
#include <atomic>
#include <cstddef>

// A fixed-size, lock-free queue for one writer thread and one reader thread.
// Neither side allocates or blocks; a push onto a full ring fails and leaves
// the item with the writer.
template <typename T, std::size_t Capacity> class SpscRing
{
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity is a power of two");

public:
    bool push(T item)
    {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head - m_tail.load(std::memory_order_acquire) == Capacity)
            return false;
        m_items[head % Capacity] = item;
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }

    bool pop(T &item)
    {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire))
            return false;
        item = m_items[tail % Capacity];
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<T, Capacity> m_items{};
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
};
