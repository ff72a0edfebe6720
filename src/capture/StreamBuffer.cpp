#include "capture/StreamBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

CStreamBuffer::CStreamBuffer(uint32_t capacity) : capacity_(capacity) {}

int CStreamBuffer::Allocate() {
    if (!storage_) {
        if (capacity_ == 0) return 0;
        storage_.reset(new (std::nothrow) uint8_t[capacity_]);
        if (!storage_) return 0;
    }
    std::lock_guard<std::mutex> guard(lock_);
    readPos_ = 0;
    writePos_ = 0;
    return 1;
}

uint32_t CStreamBuffer::StoredLocked() const {
    return (writePos_ + capacity_ - readPos_) % capacity_;
}

uint32_t CStreamBuffer::Available() {
    if (!storage_) return 0;
    std::lock_guard<std::mutex> guard(lock_);
    return StoredLocked();
}

uint32_t CStreamBuffer::Write(const uint8_t* data, uint32_t count) {
    if (!storage_ || data == nullptr || count == 0) return 0;
    // The count taken before the copy can only understate the room: the single
    // reader only frees space meanwhile.
    const uint32_t stored = Available();
    std::lock_guard<std::mutex> guard(lock_);
    const uint32_t room = capacity_ - stored - 1;
    const uint32_t length = std::min(room, count);
    if (length != 0) {
        const uint32_t tail = capacity_ - writePos_;
        if (tail >= length) {
            std::memcpy(storage_.get() + writePos_, data, length);
            writePos_ += length;
        } else {
            std::memcpy(storage_.get() + writePos_, data, tail);
            std::memcpy(storage_.get(), data + tail, length - tail);
            writePos_ = length - tail;
        }
        if (writePos_ == capacity_) writePos_ = 0;
    }
    return length;
}

uint32_t CStreamBuffer::Read(uint8_t* dest, uint32_t count) {
    if (!storage_ || dest == nullptr || count == 0) return 0;
    const uint32_t stored = Available();
    std::lock_guard<std::mutex> guard(lock_);
    const uint32_t length = std::min(stored, count);
    if (length != 0) {
        const uint32_t tail = capacity_ - readPos_;
        if (tail >= length) {
            std::memcpy(dest, storage_.get() + readPos_, length);
            readPos_ += length;
        } else {
            std::memcpy(dest, storage_.get() + readPos_, tail);
            std::memcpy(dest + tail, storage_.get(), length - tail);
            readPos_ = length - tail;
        }
        if (readPos_ == capacity_) readPos_ = 0;
    }
    return length;
}

void CStreamBuffer::Release() {
    std::lock_guard<std::mutex> guard(lock_);
    storage_.reset();
    readPos_ = 0;
    writePos_ = 0;
    capacity_ = 0;
}
