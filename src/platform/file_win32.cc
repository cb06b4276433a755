#include <windows.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/regular_file.h"

namespace mirutone::platform {
namespace {

[[noreturn]] void fail(DWORD code, FileError::Kind kind = FileError::Kind::Other) {
  if (kind == FileError::Kind::Other) {
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) kind = FileError::Kind::NotFound;
    else if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) kind = FileError::Kind::Exists;
    else if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL) kind = FileError::Kind::NoSpace;
  }
  throw FileError(kind, system_message(code));
}

HANDLE open_handle(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
  std::wstring wide;
  try {
    wide = widen(path);
  } catch (const std::exception& e) {
    throw FileError(FileError::Kind::Other, e.what());
  }
  // Others may read and write the file too, as on POSIX: the output lock,
  // not the sharing mode, keeps two writers apart.
  HANDLE h = ::CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) fail(::GetLastError());
  return h;
}

OVERLAPPED at_offset(std::uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

// An existing file that must be a file on a disk: a folder, a device or a
// pipe is refused, named, and nothing is read from it.
File open_existing_regular(const std::string& path, DWORD access) {
  File f;
  HANDLE h = nullptr;
  try {
    h = open_handle(path, access, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  } catch (const FileError&) {
    // A folder cannot be opened this way at all: say what it is.
    std::string kind = non_regular_kind(path);
    if (!kind.empty()) throw FileError(FileError::Kind::NotRegular, "not a regular file (" + kind + ")");
    throw;
  }
  f.adopt(h);
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(h) != FILE_TYPE_DISK ||
      (::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))) {
    std::string kind = non_regular_kind(path);
    throw FileError(FileError::Kind::NotRegular, "not a regular file (" + (kind.empty() ? "a device" : kind) + ")");
  }
  return f;
}

}  // namespace

File File::open_read(const std::string& path) { return open_existing_regular(path, GENERIC_READ); }

File File::open_write(const std::string& path) { return open_existing_regular(path, GENERIC_READ | GENERIC_WRITE); }

File File::create_new(const std::string& path) {
  File f;
  f.handle_ = open_handle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  return f;
}

File File::temporary_in(const std::string& folder, const std::string& hint) {
  static std::atomic<unsigned> counter{0};
  // The system deletes the file when its last handle closes, also when the
  // process is killed; a name is still needed, so it is made unique.
  for (int attempt = 0;; ++attempt) {
    std::string name = folder + "\\" + hint + ".sort-" + std::to_string(::GetCurrentProcessId()) + "-" +
                       std::to_string(counter++);
    try {
      File f;
      f.handle_ = open_handle(name, GENERIC_READ | GENERIC_WRITE, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
      return f;
    } catch (const FileError& e) {
      if (e.kind() != FileError::Kind::Exists || attempt > 100) throw;
    }
  }
}

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

File::~File() { close(); }

bool File::is_open() const { return handle_ != nullptr; }

void File::close() {
  if (handle_) ::CloseHandle(handle_);
  handle_ = nullptr;
}

std::uint64_t File::size() const {
  LARGE_INTEGER n{};
  if (!::GetFileSizeEx(handle_, &n)) fail(::GetLastError());
  return static_cast<std::uint64_t>(n.QuadPart);
}

std::size_t File::read_at(std::uint64_t offset, void* buf, std::size_t len) const {
  auto* p = static_cast<char*>(buf);
  std::size_t done = 0;
  while (done < len) {
    OVERLAPPED ov = at_offset(offset + done);
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(len - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(handle_, p + done, want, &got, &ov)) {
      DWORD code = ::GetLastError();
      if (code == ERROR_HANDLE_EOF) break;
      fail(code);
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::write_at(std::uint64_t offset, const void* buf, std::size_t len) {
  const auto* p = static_cast<const char*>(buf);
  std::size_t done = 0;
  while (done < len) {
    OVERLAPPED ov = at_offset(offset + done);
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(len - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(handle_, p + done, want, &put, &ov)) fail(::GetLastError());
    if (put == 0) fail(ERROR_DISK_FULL);
    done += put;
  }
}

void File::sync() {
  if (!::FlushFileBuffers(handle_)) fail(::GetLastError());
}

}  // namespace mirutone::platform

namespace mirutone::platform {

bool is_regular_file(const std::string& path) {
  std::wstring wide;
  try {
    wide = widen(path);
  } catch (const std::exception&) {
    return false;
  }
  DWORD attrs = ::GetFileAttributesW(wide.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES &&
         !(attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT));
}

void remove_file(const std::string& path) {
  std::wstring wide;
  try {
    wide = widen(path);
  } catch (const std::exception& e) {
    throw FileError(FileError::Kind::Other, e.what());
  }
  if (!::DeleteFileW(wide.c_str())) fail(::GetLastError());
}

}  // namespace mirutone::platform
