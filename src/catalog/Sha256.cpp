#include "catalog/Sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

CSha256::CSha256() : context_(EVP_MD_CTX_new()) {
    if (context_ != nullptr) EVP_DigestInit_ex(context_, EVP_sha256(), nullptr);
}

CSha256::~CSha256() {
    EVP_MD_CTX_free(context_);
}

void CSha256::Update(const void* data, size_t size) {
    if (context_ != nullptr && size > 0) EVP_DigestUpdate(context_, data, size);
}

Sha256Digest CSha256::Final() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (context_ != nullptr) EVP_DigestFinal_ex(context_, digest.data(), &length);
    return digest;
}

bool HashFile(const std::string& path, Sha256Digest* digest, uint64_t* bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // The file is read once from start to end: tell the kernel, so it reads ahead.
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    CSha256 sha;
    std::vector<uint8_t> block(1 << 20);
    uint64_t total = 0;
    bool ok = true;
    while (true) {
        const ssize_t n = read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        sha.Update(block.data(), static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
    }
    close(fd);
    if (!ok) return false;
    *digest = sha.Final();
    if (bytes != nullptr) *bytes = total;
    return true;
}

std::string DigestHex(const Sha256Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}
