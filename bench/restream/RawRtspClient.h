// A bare RTSP client over one TCP connection to the server on 127.0.0.1: requests with
// Digest credentials, media over RTP/AVP/TCP interleaved, and nothing read unless
// asked, so that it can stall on purpose or send what no real client would.
//
// Threads: one thread at a time.
#pragma once

#include <cstdint>
#include <string>

class CRawRtspClient {
public:
    // sourceAddress: the loopback address to connect from (the server counts failed
    // logins per address); receiveBufferBytes: the socket's receive buffer, 0 for the
    // kernel's own choice.
    CRawRtspClient(int port, std::string user, std::string password,
                   const std::string& sourceAddress = "127.0.0.1", int receiveBufferBytes = 0);
    ~CRawRtspClient();
    CRawRtspClient(const CRawRtspClient&) = delete;
    CRawRtspClient& operator=(const CRawRtspClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    int LocalPort() const { return localPort_; }

    // One request on path ("/cam1" or a full control URL); answers a Digest challenge
    // once when answerChallenge. The final status, -1 when the connection failed or no
    // answer came in time.
    int Request(const std::string& method, const std::string& pathOrUrl,
                const std::string& extraHeaders = {}, bool answerChallenge = true);
    // OPTIONS, DESCRIBE, SETUP (interleaved) and PLAY of path; the last status.
    int Play(const std::string& path);
    // Sends bytes as they are; false when the connection refused them.
    bool SendRaw(const std::string& bytes);
    // Reads media until at least bytes arrived; false on a closed connection or timeout.
    bool ReadMedia(uint64_t bytes, int timeoutMs);
    // Reads and discards until the server closes the connection (true) or timeoutMs
    // passes (false); the bytes read are added to *drained.
    bool ReadUntilClosed(int timeoutMs, uint64_t* drained);
    // The body of the last answer.
    const std::string& LastBody() const { return lastBody_; }
    void Close();

private:
    // Drops the whole interleaved media frames at the front of the buffer; their bytes.
    uint64_t SkipMedia();
    // Reads one answer, skipping interleaved media; the status, -1 on failure.
    int ReadAnswer(int timeoutMs);
    // Appends what the socket has within timeoutMs; false on close, error or timeout.
    bool Fill(int timeoutMs);
    std::string Authorization(const std::string& method, const std::string& uri) const;
    std::string Url(const std::string& pathOrUrl) const;

    const int port_;
    const std::string user_;
    const std::string password_;
    int fd_ = -1;
    int localPort_ = 0;
    int sequence_ = 0;
    std::string buffer_;  // received, not yet consumed
    std::string realm_;
    std::string nonce_;
    std::string session_;
    std::string contentBase_;
    std::string lastHeaders_;
    std::string lastBody_;
};
