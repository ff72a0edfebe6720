#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

constexpr const char* kProgram = "OrvexClient";
constexpr const char* kFallbackPrefix = "/tmp/orvexclient-";
constexpr char kRaiseRequest[] = "raise\n";
// A request longer than this is not ours; the connection is dropped.
constexpr qint64 kMaxRequestBytes = 64;

// A folder, not a link, owned by this user and closed to everyone else.
bool PrivateFolder(const std::string& folder) {
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

void Say(const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
}

// The user's private runtime folder: $XDG_RUNTIME_DIR when it is a folder of this
// user's that nobody else may enter, else /tmp/orvexclient-<uid>, made so when
// missing. "" when neither can be had.
std::string RuntimeFolder() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/' && PrivateFolder(xdg)) return xdg;
    // /tmp is shared: a folder someone else made there first is refused, not used.
    const std::string fallback = kFallbackPrefix + std::to_string(::geteuid());
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return {};
    return PrivateFolder(fallback) ? fallback : std::string();
}

// Answers one connection: a raise request runs onRaise, then the connection ends.
void Serve(QLocalSocket* socket, const std::function<void()>& onRaise) {
    if (socket->canReadLine()) {
        if (socket->readLine(kMaxRequestBytes + 1) == kRaiseRequest && onRaise) onRaise();
        socket->disconnectFromServer();
    } else if (socket->bytesAvailable() > kMaxRequestBytes) {
        socket->abort();
    }
}

}  // namespace

CSingleInstance::CSingleInstance(const std::string& configDir) : configDir_(configDir) {
    const std::string folder = RuntimeFolder();
    if (folder.empty()) return;
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(configDir), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    const std::string base = folder + "/" + kProgram + "-" + hash.toStdString();
    lockPath_ = base + ".lock";
    serverPath_ = base + ".sock";
}

CSingleInstance::~CSingleInstance() {
    // Unlinked while still locked, so that a start that opened it meanwhile sees the
    // path no longer names it and takes a new file.
    if (lock_) ::unlink(lockPath_.c_str());
}

CSingleInstance::LockState CSingleInstance::TryLock() {
    if (lockPath_.empty()) {
        lockProblem_ = "no private runtime folder ($XDG_RUNTIME_DIR or " +
                       std::string(kFallbackPrefix) + "<uid>)";
        return LockState::Unavailable;
    }
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (!lock_) {
            lock_.Reset(::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        }
        if (!lock_) break;
        if (::flock(lock_.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) return LockState::Taken;
            break;
        }
        // A copy that ends removes its lock file: the lock counts only while the path
        // still names the file that was locked, else the new file is taken.
        struct stat held {
        }, named{};
        if (::fstat(lock_.Get(), &held) == 0 && ::stat(lockPath_.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return LockState::Held;
        }
        lock_.Reset();
    }
    lockProblem_ = lockPath_ + ": " + std::strerror(errno);
    return LockState::Unavailable;
}

std::optional<int> CSingleInstance::HandToRunningCopy(int& argc, char** argv) {
    LockState state = TryLock();
    if (state == LockState::Unavailable) {
        Say("cannot lock " + lockProblem_ + "; a second start will not be noticed.");
        lock_.Reset();
        return std::nullopt;
    }
    if (state == LockState::Held) return std::nullopt;

    // The local socket wants an application object; this one needs no display.
    const QCoreApplication core(argc, argv);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReachBoundMs);
    bool sent = false;
    while (!(sent = SendRaise()) && std::chrono::steady_clock::now() < deadline) {
        // The holder may have ended meanwhile; then this copy runs after all.
        state = TryLock();
        if (state == LockState::Held) return std::nullopt;
        if (state == LockState::Unavailable) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryIntervalMs));
    }
    lock_.Reset();
    const std::string where = "already running with the settings in " + configDir_;
    if (!sent) {
        Say(where + ", but it did not answer; its window could not be raised.");
        return 1;
    }
    Say(where + "; its window was brought to the front.");
    return 0;
}

bool CSingleInstance::SendRaise() const {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(serverPath_), QIODevice::WriteOnly);
    if (!socket.waitForConnected(kWriteBoundMs)) return false;
    socket.write(kRaiseRequest, sizeof kRaiseRequest - 1);
    bool written = true;
    while (written && socket.bytesToWrite() > 0)
        written = socket.waitForBytesWritten(kWriteBoundMs);
    socket.disconnectFromServer();
    return written;
}

bool CSingleInstance::Listen(QObject* owner, std::function<void()> onRaise) const {
    if (!lock_ || serverPath_.empty()) return false;
    auto* server = new QLocalServer(owner);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = QString::fromStdString(serverPath_);
    // Holding the lock, this copy is the only one that may listen here: a socket file
    // left behind is a killed copy's.
    QLocalServer::removeServer(name);
    if (!server->listen(name)) {
        Say("cannot listen for a second start: " + server->errorString().toStdString());
        delete server;
        return false;
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [server, onRaise] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [socket, onRaise] { Serve(socket, onRaise); });
            Serve(socket, onRaise);
        }
    });
    return true;
}
