// Whether two paths name one file, however they are spelt (links, case,
// short names, another mount): the device and inode on POSIX, the volume
// serial number and file index on Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mirutone::platform {

struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of what is at `path`; nothing when nothing is there or it
// cannot be asked.
std::optional<FileIdentity> file_identity(const std::string& path);

}  // namespace mirutone::platform
