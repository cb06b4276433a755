// Files as the engine uses them: opened by a UTF-8 path, read and written at
// byte offsets (never through a shared file position), flushed to the disk.
// One implementation per system: file_posix.cc, file_win32.cc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace mirutone::platform {

// A failed file operation. The text is the system's own explanation; callers
// add the file name and what they were doing.
class FileError : public std::runtime_error {
 public:
  enum class Kind { NotFound, Exists, NotRegular, NoSpace, Other };
  FileError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

class File {
 public:
  // An existing regular file, read-only. NotFound, NotRegular or Other.
  static File open_read(const std::string& path);
  // An existing regular file, for reading and writing. NotFound, NotRegular or Other.
  static File open_write(const std::string& path);
  // A new file, for reading and writing; Exists when something is there.
  static File create_new(const std::string& path);
  // A scratch file in `folder` that no one else sees and that goes away when
  // it is closed (or the process ends, where the system can promise that).
  // `hint` becomes part of its name where the file needs one.
  static File temporary_in(const std::string& folder, const std::string& hint);

  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  bool is_open() const;
  std::uint64_t size() const;
  // Reads up to `len` bytes at `offset`; fewer only at the end of the file.
  std::size_t read_at(std::uint64_t offset, void* buf, std::size_t len) const;
  // Writes all `len` bytes at `offset` (NoSpace when the disk is full).
  void write_at(std::uint64_t offset, const void* buf, std::size_t len);
  // Everything written so far reaches the disk before this returns.
  void sync();
  void close();

#ifdef _WIN32
  // Takes ownership of an open handle.
  void adopt(void* handle) {
    close();
    handle_ = handle;
  }
#endif

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// True when a regular file (not a folder or a device) is at `path`.
bool is_regular_file(const std::string& path);
// Deletes the file at `path`; throws FileError when it cannot.
void remove_file(const std::string& path);

}  // namespace mirutone::platform
