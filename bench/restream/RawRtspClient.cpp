#include "RawRtspClient.h"

#include <arpa/inet.h>
#include <glib.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kAnswerTimeoutMs = 10000;

std::string Md5(const std::string& text) {
    gchar* digest = g_compute_checksum_for_string(G_CHECKSUM_MD5, text.c_str(), -1);
    std::string hex = digest != nullptr ? digest : "";
    g_free(digest);
    return hex;
}

// The value of header name in headers (case-insensitive name), empty when absent.
std::string Header(const std::string& headers, const char* name) {
    const size_t nameLength = std::strlen(name);
    size_t line = 0;
    while (line < headers.size()) {
        size_t end = headers.find("\r\n", line);
        if (end == std::string::npos) end = headers.size();
        if (end - line > nameLength && headers[line + nameLength] == ':' &&
            strncasecmp(headers.c_str() + line, name, nameLength) == 0) {
            size_t value = line + nameLength + 1;
            while (value < end && headers[value] == ' ') ++value;
            return headers.substr(value, end - value);
        }
        line = end + 2;
    }
    return {};
}

// key="value" out of a Digest challenge.
std::string Parameter(const std::string& challenge, const std::string& key) {
    const size_t at = challenge.find(key + "=\"");
    if (at == std::string::npos) return {};
    const size_t begin = at + key.size() + 2;
    const size_t end = challenge.find('"', begin);
    return end == std::string::npos ? std::string() : challenge.substr(begin, end - begin);
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CRawRtspClient::CRawRtspClient(int port, std::string user, std::string password,
                               const std::string& sourceAddress, int receiveBufferBytes)
    : port_(port), user_(std::move(user)), password_(std::move(password)) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    if (receiveBufferBytes > 0)
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, sourceAddress.c_str(), &local.sin_addr);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Close();
        return;
    }
    socklen_t length = sizeof local;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    localPort_ = ntohs(local.sin_port);
}

CRawRtspClient::~CRawRtspClient() {
    Close();
}

void CRawRtspClient::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

std::string CRawRtspClient::Url(const std::string& pathOrUrl) const {
    if (pathOrUrl.rfind("rtsp://", 0) == 0) return pathOrUrl;
    return "rtsp://127.0.0.1:" + std::to_string(port_) + pathOrUrl;
}

std::string CRawRtspClient::Authorization(const std::string& method, const std::string& uri) const {
    if (nonce_.empty()) return {};
    const std::string response = Md5(Md5(user_ + ":" + realm_ + ":" + password_) + ":" + nonce_ +
                                     ":" + Md5(method + ":" + uri));
    return "Authorization: Digest username=\"" + user_ + "\", realm=\"" + realm_ + "\", nonce=\"" +
           nonce_ + "\", uri=\"" + uri + "\", response=\"" + response + "\"\r\n";
}

int CRawRtspClient::Request(const std::string& method, const std::string& pathOrUrl,
                            const std::string& extraHeaders, bool answerChallenge) {
    const std::string uri = Url(pathOrUrl);
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string request = method + " " + uri +
                              " RTSP/1.0\r\nCSeq: " + std::to_string(++sequence_) + "\r\n" +
                              extraHeaders + Authorization(method, uri);
        if (!session_.empty()) request += "Session: " + session_ + "\r\n";
        request += "User-Agent: restream_bench\r\n\r\n";
        if (!SendRaw(request)) return -1;
        const int status = ReadAnswer(kAnswerTimeoutMs);
        if (status != 401 || !answerChallenge || !nonce_.empty() || attempt > 0) return status;
        const std::string challenge = Header(lastHeaders_, "WWW-Authenticate");
        realm_ = Parameter(challenge, "realm");
        nonce_ = Parameter(challenge, "nonce");
        if (nonce_.empty()) return status;
    }
    return -1;
}

int CRawRtspClient::Play(const std::string& path) {
    int status = Request("OPTIONS", path);
    if (status != 200) return status;
    status = Request("DESCRIBE", path, "Accept: application/sdp\r\n");
    if (status != 200) return status;
    // The first media's control attribute, relative to the content base.
    std::string control;
    const size_t media = lastBody_.find("m=video");
    const size_t at = lastBody_.find("a=control:", media == std::string::npos ? 0 : media);
    if (at != std::string::npos) {
        const size_t end = lastBody_.find_first_of("\r\n", at);
        control = lastBody_.substr(at + 10, end - at - 10);
    }
    std::string base = contentBase_.empty() ? Url(path) + "/" : contentBase_;
    const std::string setupUrl = control.rfind("rtsp://", 0) == 0 ? control : base + control;
    status = Request("SETUP", setupUrl, "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
    if (status != 200) return status;
    return Request("PLAY", base.substr(0, base.size() - (base.back() == '/' ? 1 : 0)),
                   "Range: npt=0.000-\r\n");
}

bool CRawRtspClient::SendRaw(const std::string& bytes) {
    if (fd_ < 0) return false;
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool CRawRtspClient::Fill(int timeoutMs) {
    if (fd_ < 0) return false;
    pollfd wanted{fd_, POLLIN, 0};
    if (poll(&wanted, 1, timeoutMs) <= 0) return false;
    char chunk[16384];
    const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(got));
    return true;
}

uint64_t CRawRtspClient::SkipMedia() {
    // Interleaved media: '$', channel, 16-bit length, then that many bytes.
    uint64_t skipped = 0;
    while (buffer_.size() >= 4 && buffer_[0] == '$') {
        const size_t length =
            (static_cast<uint8_t>(buffer_[2]) << 8) | static_cast<uint8_t>(buffer_[3]);
        if (buffer_.size() < 4 + length) break;
        buffer_.erase(0, 4 + length);
        skipped += 4 + length;
    }
    return skipped;
}

int CRawRtspClient::ReadAnswer(int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        SkipMedia();
        const size_t end = buffer_.find("\r\n\r\n");
        if ((buffer_.empty() || buffer_[0] != '$') && end != std::string::npos) {
            const std::string headers = buffer_.substr(0, end + 2);
            const size_t bodyLength =
                static_cast<size_t>(std::atol(Header(headers, "Content-Length").c_str()));
            if (buffer_.size() >= end + 4 + bodyLength) {
                lastHeaders_ = headers;
                lastBody_ = buffer_.substr(end + 4, bodyLength);
                buffer_.erase(0, end + 4 + bodyLength);
                const std::string session = Header(headers, "Session");
                if (!session.empty()) session_ = session.substr(0, session.find(';'));
                const std::string base = Header(headers, "Content-Base");
                if (!base.empty()) contentBase_ = base;
                if (headers.rfind("RTSP/1.0 ", 0) != 0) return -1;
                return std::atoi(headers.c_str() + 9);
            }
        }
        const int64_t left = deadline - NowMs();
        if (left <= 0 || !Fill(static_cast<int>(left))) return -1;
    }
}

bool CRawRtspClient::ReadMedia(uint64_t bytes, int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    uint64_t read = SkipMedia();
    while (read < bytes) {
        const int64_t left = deadline - NowMs();
        if (left <= 0 || !Fill(static_cast<int>(left))) return false;
        read += SkipMedia();
    }
    return true;
}

bool CRawRtspClient::ReadUntilClosed(int timeoutMs, uint64_t* drained) {
    const int64_t deadline = NowMs() + timeoutMs;
    buffer_.clear();
    while (fd_ >= 0) {
        const int64_t left = deadline - NowMs();
        if (left <= 0) return false;
        pollfd wanted{fd_, POLLIN, 0};
        if (poll(&wanted, 1, static_cast<int>(left)) <= 0) return false;
        char chunk[65536];
        const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) return true;
        *drained += static_cast<uint64_t>(got);
    }
    return true;
}
