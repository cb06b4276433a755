#include <windows.h>

#include "platform/path.h"
#include "platform/regular_file.h"

namespace mirutone::platform {

std::string non_regular_kind(const std::string& path) {
  std::wstring wide;
  try {
    wide = widen(path);
  } catch (const std::exception&) {
    return "";
  }
  DWORD attrs = ::GetFileAttributesW(wide.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return "a folder";
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DEVICE)) return "a device";
  // Devices ("NUL", "COM1") and pipes ("\\.\pipe\...") are told by the handle;
  // no access rights are asked for, so nothing is read and nothing waits.
  HANDLE h = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  DWORD type = ::GetFileType(h);
  ::CloseHandle(h);
  switch (type) {
    case FILE_TYPE_DISK: return "";
    case FILE_TYPE_CHAR: return "a character device";
    case FILE_TYPE_PIPE: return "a pipe";
    default: return "not a plain file";
  }
}

}  // namespace mirutone::platform
