#include "catalog/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

CRunLock::CRunLock(const std::string& folder)
    : fd_(open((folder + "/" + kFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {}

CRunLock::~CRunLock() {
    if (fd_ >= 0) close(fd_);  // releases the lock
}

bool CRunLock::TryAlone() {
    return fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

bool CRunLock::Share() {
    if (fd_ < 0) return false;
    int rc;
    do {
        rc = flock(fd_, LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}
