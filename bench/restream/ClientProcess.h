// One RTSP client run as a child process (ffmpeg or gst-launch-1.0) whose H.264 output
// is piped into this program's own "digest" mode, which writes one slice hash a line
// to a file: the clients' work and the hashing stay out of the measured process.
//
// Threads: the benchmark's main thread only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class CClientProcess {
public:
    enum class Kind { FFmpeg, GStreamer };

    // url carries the credentials; files go to folder, named after name.
    CClientProcess(Kind kind, std::string url, const std::string& folder, std::string name);
    // Stops the child if it still runs.
    ~CClientProcess();
    CClientProcess(const CClientProcess&) = delete;
    CClientProcess& operator=(const CClientProcess&) = delete;

    bool Start();
    // Asks the client to end (SIGINT) and waits for it and its digest; after timeoutMs
    // the client is killed. Notes the wall clock at the request.
    void Stop(int timeoutMs = 8000);
    bool Running() const { return pid_ > 0; }

    // After Stop: the hashes of the slices received, in order.
    std::vector<uint64_t> Slices() const;
    // After Stop: the client's own error output (its first lines).
    std::string Errors() const;
    const std::string& Name() const { return name_; }
    Kind ClientKind() const { return kind_; }
    int64_t StartWallMs() const { return startWallMs_; }
    int64_t StopWallMs() const { return stopWallMs_; }

private:
    const Kind kind_;
    const std::string url_;
    const std::string name_;
    const std::string digestPath_;
    const std::string errorPath_;
    pid_t pid_ = -1;        // the client
    pid_t digestPid_ = -1;  // the digest reading its output
    int64_t startWallMs_ = 0;
    int64_t stopWallMs_ = 0;
};

// The digest mode's work: reads an Annex B stream from standard input and writes the
// hash of each slice to path, one a line. Ignores SIGINT: it ends at the end of its
// input, once the client feeding it has ended.
int RunDigest(const char* path);
