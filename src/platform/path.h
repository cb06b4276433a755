// Paths are UTF-8 strings everywhere inside the program. These turn them into
// std::filesystem paths without passing through the system's narrow code page
// (which on Windows is not UTF-8), and, on Windows, into the UTF-16 the
// system's wide functions take.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace mirutone::platform {

std::filesystem::path fs_path(std::string_view utf8);
std::string utf8_path(const std::filesystem::path& p);

#ifdef _WIN32
// Throws std::runtime_error on text that is not valid UTF-8 (or UTF-16).
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);
// The system's text for a Win32 error code, in UTF-8, without the line end.
std::string system_message(unsigned long code);
#endif

}  // namespace mirutone::platform
