#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mirutone::platform {

FileLock::~FileLock() { unlock(); }

void FileLock::unlock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing the descriptor drops the lock
  handle_ = -1;
}

LockResult FileLock::try_lock(const std::string& path) {
  unlock();
  error_.clear();
  // O_NONBLOCK: a FIFO at the path must not hold us in open().
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return LockResult::Failed;
  }
  // flock, not fcntl: an fcntl lock is the process's, so a second run in the
  // same process would not see it, and closing any descriptor of the file
  // would drop it.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    if (err == EINTR) continue;
    ::close(fd);
    if (err == EWOULDBLOCK) return LockResult::Busy;
    error_ = std::strerror(err);
    return LockResult::Failed;
  }
  handle_ = fd;
  return LockResult::Locked;
}

}  // namespace mirutone::platform
