#include "catalog/AnnexBScanner.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/AnnexB.h"

namespace {
using namespace AnnexBNal;
// A start code, the unit's header and the first byte of its payload.
constexpr size_t kLookAhead = 5;
constexpr size_t kReadBytes = 1 << 20;

bool OpensAccessUnit(uint8_t type) {
    return type == kSei || type == kSps || type == kPps || type == kDelimiter ||
           (type >= 14 && type <= 18);
}
}  // namespace

void CAnnexBScanner::Feed(const uint8_t* data, size_t size) {
    if (size == 0) return;
    buffer_.insert(buffer_.end(), data, data + size);
    result_.Bytes += size;
    if (buffer_.size() > kLookAhead) ScanBuffer(buffer_.size() - kLookAhead);
    // Keep one byte before the first unscanned one: a four-byte start code's zero.
    const size_t keep = scanAt_ > 0 ? scanAt_ - 1 : 0;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(keep));
    bufferOffset_ += keep;
    scanAt_ -= keep;
}

ScannedStream CAnnexBScanner::Finish() {
    ScanBuffer(buffer_.size());
    CloseAccessUnit();
    ScannedStream result = std::move(result_);
    *this = CAnnexBScanner();
    return result;
}

void CAnnexBScanner::ScanBuffer(size_t limit) {
    const uint8_t* data = buffer_.data();
    const size_t size = buffer_.size();
    size_t i = scanAt_;
    while (i + 2 < limit) {
        if (data[i + 2] > 1) {
            i += 3;  // no start code can end at i + 1 or i + 2
        } else if (data[i + 2] == 1 && data[i + 1] == 0 && data[i] == 0) {
            if (i + 3 >= size) break;  // a start code at the very end holds no unit
            const size_t start = (i > 0 && data[i - 1] == 0) ? i - 1 : i;
            const int payload = i + 4 < size ? data[i + 4] : -1;
            OnNal(bufferOffset_ + start, data[i + 3], payload);
            i += 3;
        } else {
            ++i;
        }
    }
    scanAt_ = i;
}

void CAnnexBScanner::CloseAccessUnit() {
    if (hasPicture_) {
        if (idr_) result_.KeyFrames.push_back({unitStart_, result_.Pictures});
        ++result_.Pictures;
    }
    hasPicture_ = false;
    idr_ = false;
    prefix_.reset();
}

void CAnnexBScanner::OnNal(uint64_t offset, uint8_t header, int firstPayloadByte) {
    const uint8_t type = header & 0x1F;
    if (type != kSlice && type != kIdrSlice) {
        if (!OpensAccessUnit(type)) return;
        if (type == kDelimiter) {
            CloseAccessUnit();
            started_ = true;
            unitStart_ = offset;
        } else if (hasPicture_) {
            if (!prefix_) prefix_ = offset;
        } else if (!started_) {
            started_ = true;
            unitStart_ = offset;
        }
        return;
    }
    // first_mb_in_slice is ue(v): 0, the first slice of a picture, is a single 1 bit.
    const bool firstSlice = firstPayloadByte >= 0 && (firstPayloadByte & 0x80) != 0;
    if (firstSlice && hasPicture_) {
        const uint64_t start = prefix_.value_or(offset);
        CloseAccessUnit();
        unitStart_ = start;
    } else if (!started_) {
        if (!firstSlice) return;  // the tail of a picture begun before this stream
        started_ = true;
        unitStart_ = offset;
    }
    prefix_.reset();
    hasPicture_ = true;
    if (type == kIdrSlice) idr_ = true;
}

bool ScanAnnexBFile(const std::string& path, ScannedStream* stream) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    CAnnexBScanner scanner;
    std::vector<uint8_t> block(kReadBytes);
    bool ok = true;
    while (true) {
        const ssize_t n = read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        scanner.Feed(block.data(), static_cast<size_t>(n));
    }
    close(fd);
    if (!ok) return false;
    *stream = scanner.Finish();
    return true;
}
