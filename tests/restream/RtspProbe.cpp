#include "RtspProbe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

CRtspProbe::CRtspProbe(int port) : port_(port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return;
    timeval timeout{20, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

CRtspProbe::~CRtspProbe() {
    if (fd_ >= 0) close(fd_);
}

int CRtspProbe::Request(const std::string& method, const std::string& path) {
    if (fd_ < 0) return -1;
    const std::string request = method + " rtsp://127.0.0.1:" + std::to_string(port_) + path +
                                " RTSP/1.0\r\nCSeq: " + std::to_string(++sequence_) +
                                "\r\nAccept: application/sdp\r\n\r\n";
    if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        return -1;
    }
    std::string answer;
    char chunk[1024];
    while (answer.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) return -1;
        answer.append(chunk, static_cast<size_t>(got));
    }
    // "RTSP/1.0 404 Not Found"; a body, if any, is not read (one request per probe
    // matters only for its status).
    const size_t space = answer.find(' ');
    return space == std::string::npos ? -1 : std::atoi(answer.c_str() + space + 1);
}
