// A bare RTSP connection to 127.0.0.1 for the tests: sends one request and reads the
// status code of the answer, without credentials.
#pragma once

#include <string>

class CRtspProbe {
public:
    explicit CRtspProbe(int port);
    ~CRtspProbe();
    CRtspProbe(const CRtspProbe&) = delete;
    CRtspProbe& operator=(const CRtspProbe&) = delete;

    // The status code of the answer to `method` for path; -1 when the connection
    // failed or no answer came within 20 s.
    int Request(const std::string& method, const std::string& path);

private:
    const int port_;
    int fd_ = -1;
    int sequence_ = 0;
};
