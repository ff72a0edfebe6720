// A fixed-size circular byte buffer between exactly one writer thread (the capture
// library's, through CRecorder::Push) and one reader thread (the recorder's worker).
// What does not fit is dropped: the writer never waits for the reader. Holds at most
// capacity - 1 bytes. Before Allocate every call stores, reads and counts nothing.
//
// Threads: Write on the writer's thread, Available and Read on the reader's;
// construction, Allocate and Release while neither uses the buffer. The lock is held
// only for the position arithmetic and the copies.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

class CStreamBuffer {
public:
    explicit CStreamBuffer(uint32_t capacity);
    virtual ~CStreamBuffer() = default;

    CStreamBuffer(const CStreamBuffer&) = delete;
    CStreamBuffer& operator=(const CStreamBuffer&) = delete;

    // Allocates the storage if there is none and empties the buffer. 1 done, 0 when
    // the storage cannot be allocated.
    int Allocate();
    uint32_t Available();
    // Stores as much of data as fits; returns how much was stored.
    uint32_t Write(const uint8_t* data, uint32_t count);
    // Copies out up to count bytes; never waits. Returns how many were copied.
    uint32_t Read(uint8_t* dest, uint32_t count);
    // Frees the storage; the buffer is not used afterwards.
    void Release();

    uint32_t Capacity() const { return capacity_; }

private:
    uint32_t StoredLocked() const;

    uint32_t capacity_;                   // set at construction, cleared by Release
    std::unique_ptr<uint8_t[]> storage_;  // set by Allocate, freed by Release
    std::mutex lock_;                     // guards the two positions
    uint32_t readPos_ = 0;                // offset of the next byte to read; reader side
    uint32_t writePos_ = 0;               // offset of the next byte to write; writer side
};
