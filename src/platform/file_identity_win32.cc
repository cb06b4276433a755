#include <windows.h>

#include "platform/file_identity.h"
#include "platform/path.h"

namespace mirutone::platform {

std::optional<FileIdentity> file_identity(const std::string& path) {
  std::wstring wide;
  try {
    wide = widen(path);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  // No access rights are needed to read the identity; folders need the
  // backup-semantics flag to be opened at all.
  HANDLE h = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  BOOL ok = ::GetFileInformationByHandle(h, &info);
  ::CloseHandle(h);
  if (!ok) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace mirutone::platform
