#include <unistd.h>

#include "platform/console.h"

namespace mirutone::platform {

std::vector<std::string> utf8_arguments(int argc, char** argv) { return {argv, argv + argc}; }

void prepare_console() {}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace mirutone::platform
