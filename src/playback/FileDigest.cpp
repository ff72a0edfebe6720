#include "playback/FileDigest.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr size_t kReadBytes = 1 << 20;

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string FileDigest::Sha256(const std::string& path) {
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return {};
    }
    std::vector<unsigned char> buffer(kReadBytes);
    for (;;) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (n > 0 && EVP_DigestUpdate(context.get(), buffer.data(), n) != 1) return {};
        if (n < buffer.size()) break;
    }
    if (std::ferror(file.get())) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

bool FileDigest::WriteSha256File(const std::string& path, std::string* hex) {
    const std::string digest = Sha256(path);
    if (digest.empty()) return false;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string line = digest + "  " + name + "\n";
    bool written = false;
    if (std::FILE* file = std::fopen((path + ".sha256").c_str(), "wb")) {
        written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
        written = std::fclose(file) == 0 && written;
    }
    if (written && hex != nullptr) *hex = digest;
    return written;
}
