#include "ui/cli/commands.h"

namespace mirutone::cli {
namespace {
int g_status = 0;
}
int last_status() { return g_status; }
void set_status(int status) { g_status = status; }
}  // namespace mirutone::cli
