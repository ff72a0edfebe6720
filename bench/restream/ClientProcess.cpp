#include "ClientProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "PictureDigest.h"
#include "platform/LocalTime.h"

extern char** environ;

namespace {

std::string SelfPath() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "restream_bench";
}

// Starts argv with the given standard input and output; -1 when it did not start.
pid_t Spawn(const std::vector<std::string>& args, int input, int output,
            const std::string& errorPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to timeoutMs for pid to end, then kills it.
void Reap(pid_t pid, int timeoutMs) {
    if (pid <= 0) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        // A child's end has no descriptor to wait on here; a short poll is bounded.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

CClientProcess::CClientProcess(Kind kind, std::string url, const std::string& folder,
                               std::string name)
    : kind_(kind),
      url_(std::move(url)),
      name_(std::move(name)),
      digestPath_(folder + "/" + name_ + ".digest"),
      errorPath_(folder + "/" + name_ + ".err") {}

CClientProcess::~CClientProcess() {
    Stop(2000);
}

bool CClientProcess::Start() {
    // TCP, as through a firewall; the stream copied, not decoded.
    const char* command =
        kind_ == Kind::FFmpeg
            ? "ffmpeg -nostdin -loglevel error -rtsp_transport tcp -i URL -an -c copy -f h264 -"
            : "gst-launch-1.0 -q -e rtspsrc location=URL protocols=tcp latency=200 ! "
              "rtph264depay ! h264parse ! video/x-h264,stream-format=byte-stream,alignment=au ! "
              "fdsink fd=1";
    std::vector<std::string> client;
    std::istringstream words(command);
    for (std::string word; words >> word;) {
        const size_t url = word.find("URL");
        client.push_back(url == std::string::npos ? word : word.replace(url, 3, url_));
    }
    // Close-on-exec, so that no other child holds this pipe open past the client's end.
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    const int nullInput = open("/dev/null", O_RDONLY | O_CLOEXEC);
    digestPid_ = Spawn({SelfPath(), "digest", digestPath_}, pipeEnds[0], 1, errorPath_);
    startWallMs_ = WallClockMs();
    pid_ = Spawn(client, nullInput, pipeEnds[1], errorPath_);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    close(nullInput);
    if (pid_ <= 0) Stop(0);
    return pid_ > 0 && digestPid_ > 0;
}

void CClientProcess::Stop(int timeoutMs) {
    if (pid_ > 0) {
        stopWallMs_ = WallClockMs();
        kill(pid_, SIGINT);
        Reap(pid_, timeoutMs);
        pid_ = -1;
    }
    // The digest ends at the end of its input, which the client's end closed.
    Reap(digestPid_, 5000);
    digestPid_ = -1;
}

std::vector<uint64_t> CClientProcess::Slices() const {
    std::vector<uint64_t> slices;
    std::ifstream file(digestPath_);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty()) slices.push_back(std::stoull(line, nullptr, 16));
    }
    return slices;
}

std::string CClientProcess::Errors() const {
    std::ifstream file(errorPath_);
    std::string text, line;
    for (int i = 0; i < 3 && std::getline(file, line); ++i) text += (i ? " | " : "") + line;
    return text;
}

int RunDigest(const char* path) {
    signal(SIGINT, SIG_IGN);
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr) return 1;
    CPictureDigest digest([out](uint64_t hash) {
        std::fprintf(out, "%016" PRIx64 "\n", hash);
        // A client killed late still leaves every slice it delivered.
        std::fflush(out);
    });
    uint8_t buffer[64 * 1024];
    for (;;) {
        const ssize_t got = read(0, buffer, sizeof buffer);
        if (got <= 0) break;
        digest.Feed(buffer, static_cast<size_t>(got));
    }
    digest.Finish();
    std::fclose(out);
    return 0;
}
