#include "platform/file.h"
#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace mirutone::platform {
namespace {

[[noreturn]] void fail(int err, FileError::Kind kind = FileError::Kind::Other) {
  if (kind == FileError::Kind::Other) {
    if (err == ENOENT) kind = FileError::Kind::NotFound;
    else if (err == EEXIST) kind = FileError::Kind::Exists;
    else if (err == ENOSPC) kind = FileError::Kind::NoSpace;
  }
  throw FileError(kind, std::strerror(err));
}

int open_or_fail(const char* path, int flags, mode_t mode = 0) {
  int fd = ::open(path, flags | O_CLOEXEC, mode);
  if (fd < 0) fail(errno);
  return fd;
}

// Opens without waiting (a plain open() of a FIFO waits for a writer for as
// long as nobody comes), refuses anything but a regular file, then lets the
// descriptor block as usual.
int open_existing_regular(const std::string& path, int access) {
  int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == EISDIR) throw FileError(FileError::Kind::NotRegular, "not a regular file (a folder)");
  if (fd < 0) fail(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    fail(err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    throw FileError(FileError::Kind::NotRegular, "not a regular file (" + kind_of_mode(st.st_mode) + ")");
  }
  int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

}  // namespace

File File::open_read(const std::string& path) {
  File f;
  f.fd_ = open_existing_regular(path, O_RDONLY);
  return f;
}

File File::open_write(const std::string& path) {
  File f;
  f.fd_ = open_existing_regular(path, O_RDWR);
  return f;
}

File File::create_new(const std::string& path) {
  File f;
  f.fd_ = open_or_fail(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
  return f;
}

File File::temporary_in(const std::string& folder, const std::string& hint) {
  File f;
  // An unnamed file disappears with the descriptor, even when the process dies.
  f.fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (f.fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string name = folder + "/" + hint + ".sort-XXXXXX";
    f.fd_ = ::mkstemp(name.data());
    if (f.fd_ >= 0) {
      ::fcntl(f.fd_, F_SETFD, FD_CLOEXEC);
      ::unlink(name.c_str());
    }
  }
  if (f.fd_ < 0) fail(errno);
  return f;
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

File::~File() { close(); }

bool File::is_open() const { return fd_ >= 0; }

void File::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::uint64_t File::size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) fail(errno);
  return static_cast<std::uint64_t>(st.st_size);
}

std::size_t File::read_at(std::uint64_t offset, void* buf, std::size_t len) const {
  auto* p = static_cast<char*>(buf);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::pread(fd_, p + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(errno);
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void File::write_at(std::uint64_t offset, const void* buf, std::size_t len) {
  const auto* p = static_cast<const char*>(buf);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::pwrite(fd_, p + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(errno);
    if (n == 0) fail(ENOSPC);
    done += static_cast<std::size_t>(n);
  }
}

void File::sync() {
  // EINVAL/EROFS: a file system that has nothing to sync (a pipe, a read-only mount).
  if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) fail(errno);
}

}  // namespace mirutone::platform

namespace mirutone::platform {

bool is_regular_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0) fail(errno);
}

}  // namespace mirutone::platform
