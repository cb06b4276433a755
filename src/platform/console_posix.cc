#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/console.h"

namespace mirutone::platform {

std::vector<std::string> utf8_arguments(int argc, char** argv) { return {argv, argv + argc}; }

void prepare_console() {}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool terminal_takes_escapes() { return stdout_is_terminal(); }

std::size_t terminal_columns() {
  struct winsize ws{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0) return ws.ws_col;
  return 0;
}

}  // namespace mirutone::platform
