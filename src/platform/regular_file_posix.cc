#include "platform/regular_file.h"

#include <sys/stat.h>

namespace mirutone::platform {

std::string kind_of_mode(unsigned mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "not a plain file";
}

std::string non_regular_kind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "";
  return kind_of_mode(st.st_mode);
}

}  // namespace mirutone::platform
