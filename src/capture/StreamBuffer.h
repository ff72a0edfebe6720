// A fixed-size circular byte buffer between exactly one writer thread (the capture
// library's, through CRecorder::Push) and one reader thread (the recorder's worker).
// What does not fit is dropped: the writer never waits for the reader. Holds at most
// capacity - 1 bytes. Before Allocate every call stores, reads and counts nothing.
//
// Threads: Write on the writer's thread, Available and Read on the reader's;
// construction, Allocate and Release while neither uses the buffer. Each position is
// an atomic published by its own side after the copy (release) and read by the other
// side before it (acquire): the writer only fills room the reader has given back and
// the reader only takes bytes the writer has published, so no lock is needed and
// neither side ever waits for the other's copy.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

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
    uint32_t Stored(uint32_t readPos, uint32_t writePos) const {
        return (writePos + capacity_ - readPos) % capacity_;
    }

    uint32_t capacity_;                   // set at construction, cleared by Release
    std::unique_ptr<uint8_t[]> storage_;  // set by Allocate, freed by Release
    std::atomic<uint32_t> readPos_{0};    // next byte to read; stored by the reader only
    std::atomic<uint32_t> writePos_{0};   // next byte to write; stored by the writer only
};
