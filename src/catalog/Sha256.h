// SHA-256 through OpenSSL's EVP interface, for the proof that recordings were not
// altered: of byte runs, of a whole file, and as lowercase hex.
//
// Threads: an object on one thread at a time; the free functions on any.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct evp_md_ctx_st;

using Sha256Digest = std::array<uint8_t, 32>;

class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Update(const void* data, size_t size);
    // The digest of everything given since construction; the object is spent.
    Sha256Digest Final();

private:
    evp_md_ctx_st* context_;  // null when OpenSSL could not make one
};

// The digest of the file's bytes and their count; false when it cannot be read whole.
bool HashFile(const std::string& path, Sha256Digest* digest, uint64_t* bytes);

std::string DigestHex(const Sha256Digest& digest);
