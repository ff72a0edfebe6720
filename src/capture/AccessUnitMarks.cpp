#include "capture/AccessUnitMarks.h"

CAccessUnitMarks::CAccessUnitMarks(uint32_t capacity)
    : capacity_(capacity < 2 ? 2 : capacity), slots_(new AccessUnitMark[capacity_]) {}

bool CAccessUnitMarks::HasRoom() const {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    return (head + 1) % capacity_ != tail_.load(std::memory_order_acquire);
}

bool CAccessUnitMarks::Add(const AccessUnitMark& mark) {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    const uint32_t next = (head + 1) % capacity_;
    if (next == tail_.load(std::memory_order_acquire)) return false;
    slots_[head] = mark;
    head_.store(next, std::memory_order_release);  // publishes the slot
    return true;
}

bool CAccessUnitMarks::Peek(AccessUnitMark* mark) const {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    *mark = slots_[tail];
    return true;
}

void CAccessUnitMarks::Pop() {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return;
    tail_.store((tail + 1) % capacity_, std::memory_order_release);  // gives the slot back
}
