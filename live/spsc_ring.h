// A ring from one thread to one other that neither waits nor allocates: the audio thread and the
// main thread talk through these. Its storage is part of it, made before the audio starts.
#pragma once

#include <atomic>
#include <cstddef>

template <class T, size_t Capacity> class SpscRing {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "the capacity is a power of two");

  public:
    // Producer only. False when the ring is full; the item is then not kept.
    bool push(const T& item) {
        const size_t at = tail.load(std::memory_order_relaxed);
        if (at - head.load(std::memory_order_acquire) == Capacity)
            return false;
        slots[at & (Capacity - 1)] = item;
        tail.store(at + 1, std::memory_order_release);
        return true;
    }

    // Consumer only.
    bool empty() const {
        return head.load(std::memory_order_relaxed) == tail.load(std::memory_order_acquire);
    }

    // Consumer only. False when the ring is empty.
    bool pop(T& item) {
        const size_t at = head.load(std::memory_order_relaxed);
        if (at == tail.load(std::memory_order_acquire))
            return false;
        item = slots[at & (Capacity - 1)];
        head.store(at + 1, std::memory_order_release);
        return true;
    }

  private:
    T slots[Capacity] = {};
    std::atomic<size_t> head{0}; // next to pop, written by the consumer
    std::atomic<size_t> tail{0}; // next to push, written by the producer
};
