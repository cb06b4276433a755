// Opening a file that must be a regular file. A FIFO, a device or a folder
// given where a database is expected is refused at once: a plain open() of a
// FIFO would wait for a writer for as long as nobody comes.
#pragma once

#include <string>

namespace mirutone::platform {

enum class FileAccess { Read, ReadWrite };

struct OpenedFile {
  int fd = -1;            // -1 when refused or failed
  int error = 0;          // errno of the failure, 0 when refused for its kind
  std::string problem;    // why, for a message: the errno text or "not a regular file (a FIFO)"
};

// Opens `path` without waiting and checks that it is a regular file; the
// descriptor it returns blocks as usual and is closed on exec.
OpenedFile open_regular_file(const std::string& path, FileAccess access);

// "a FIFO", "a folder", ... for a path that exists and is not a regular file;
// empty when it is one, or when there is nothing at the path.
std::string non_regular_kind(const std::string& path);

}  // namespace mirutone::platform
