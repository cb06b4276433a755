#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mirutone::platform {
namespace {

std::string kind_of(mode_t mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "not a plain file";
}

}  // namespace

OpenedFile open_regular_file(const std::string& path, FileAccess access) {
  OpenedFile out;
  int flags = (access == FileAccess::Read ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    out.error = errno;
    out.problem = std::strerror(errno);
    return out;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    out.error = errno;
    out.problem = std::strerror(errno);
    ::close(fd);
    return out;
  }
  if (!S_ISREG(st.st_mode)) {
    out.problem = "not a regular file (" + kind_of(st.st_mode) + ")";
    ::close(fd);
    return out;
  }
  int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  out.fd = fd;
  return out;
}

std::string non_regular_kind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "";
  return kind_of(st.st_mode);
}

}  // namespace mirutone::platform
