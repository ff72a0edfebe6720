#include "playback/FileDigest.h"

#include <cstdio>

#include "catalog/Sha256.h"

std::string FileDigest::Sha256(const std::string& path) {
    Sha256Digest digest{};
    uint64_t bytes = 0;
    return HashFile(path, &digest, &bytes) ? DigestHex(digest) : std::string();
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
