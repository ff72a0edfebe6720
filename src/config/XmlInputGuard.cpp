#include "config/XmlInputGuard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

struct FileDescriptor {
    int Fd = -1;
    ~FileDescriptor() {
        if (Fd >= 0) ::close(Fd);
    }
};

}  // namespace

void NormalizeXmlText(std::string* text) {
    std::string& s = *text;
    const size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    size_t out = 0;
    for (size_t in = 0; in < s.size(); ++in) {
        if (s[in] == '\r') {
            s[out++] = '\n';
            if (in + 1 < s.size() && s[in + 1] == '\n') ++in;
        } else {
            s[out++] = s[in];
        }
    }
    s.resize(out);
}

size_t CountMarkup(std::string_view text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '<'));
}

XmlInputResult ReadXmlInput(const std::string& path, std::string* text) {
    text->clear();
    // Non-blocking, so that a FIFO in the file's place cannot hang the reader.
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.Fd < 0) return XmlInputResult::kUnreadable;
    struct stat st {};
    if (::fstat(file.Fd, &st) != 0 || !S_ISREG(st.st_mode)) return XmlInputResult::kUnreadable;
    if (static_cast<unsigned long long>(st.st_size) > kXmlMaxBytes) {
        return XmlInputResult::kTooLarge;
    }

    // Read at most one byte over the limit: the file may grow after fstat.
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            if (data.size() > kXmlMaxBytes) break;
            data.resize(std::min(std::max<size_t>(data.size() * 2, 4096), kXmlMaxBytes + 1));
        }
        const ssize_t n = ::read(file.Fd, data.data() + used, data.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return XmlInputResult::kUnreadable;
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    if (used > kXmlMaxBytes) return XmlInputResult::kTooLarge;
    data.resize(used);

    NormalizeXmlText(&data);
    if (CountMarkup(data) > kXmlMaxMarkup) return XmlInputResult::kTooMuchMarkup;
    data.append(kXmlPaddingBytes, '\0');
    *text = std::move(data);
    return XmlInputResult::kOk;
}
