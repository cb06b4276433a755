// What kind of thing is at a path where a database file is expected. A FIFO,
// a device or a folder given there is refused at once, by name; File's
// open_read and open_write refuse them the same way without waiting on them.
#pragma once

#include <string>

namespace mirutone::platform {

// "a FIFO", "a folder", ... for a path that exists and is not a regular file;
// empty when it is one, or when there is nothing at the path.
std::string non_regular_kind(const std::string& path);

#ifndef _WIN32
// The same words for a POSIX st_mode.
std::string kind_of_mode(unsigned mode);
#endif

}  // namespace mirutone::platform
