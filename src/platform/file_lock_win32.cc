#include <windows.h>

#include "platform/file_lock.h"
#include "platform/path.h"

namespace mirutone::platform {
namespace {

// The lock of a folder is a hidden file in it, opened without sharing: a
// second opener, in this process or another, is refused by the system until
// the holder closes it, and the system deletes it then, also when the
// holder's process is killed.
constexpr wchar_t kLockName[] = L"\\.mirutone.lock";

HANDLE as_handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

FileLock::~FileLock() { unlock(); }

void FileLock::unlock() {
  if (handle_ >= 0) ::CloseHandle(as_handle(handle_));
  handle_ = -1;
}

LockResult FileLock::try_lock(const std::string& path) {
  unlock();
  error_.clear();
  std::wstring folder;
  try {
    folder = widen(path);
  } catch (const std::exception& e) {
    error_ = e.what();
    return LockResult::Failed;
  }
  DWORD attrs = ::GetFileAttributesW(folder.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    error_ = system_message(::GetLastError());
    return LockResult::Failed;
  }
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    error_ = "not a folder";
    return LockResult::Failed;
  }
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  const std::wstring lock_path = folder + kLockName;
  HANDLE h = ::CreateFileW(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD code = ::GetLastError();
    // A sharing violation is the holder's open handle; access denied is the
    // holder's file on its way out as that holder closes it.
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) {
      if (code == ERROR_SHARING_VIOLATION ||
          ::GetFileAttributesW(lock_path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return LockResult::Busy;
    }
    error_ = system_message(code);
    return LockResult::Failed;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return LockResult::Locked;
}

}  // namespace mirutone::platform
