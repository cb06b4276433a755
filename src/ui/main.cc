// mirutone: with no arguments, the window; with a subcommand, the terminal front end.
#include <cstdlib>
#include <cstdio>

#include "ui/cli/cli.h"

#ifdef MIRUTONE_HAVE_WINDOW
#include "ui/window/window_main.h"
#endif

int main(int argc, char** argv) {
  if (argc <= 1) {
#ifdef MIRUTONE_HAVE_WINDOW
    return mirutone::ui::run_window(argc, argv);
#else
    std::fprintf(stderr,
                 "mirutone: this build has no window; use a subcommand (mirutone --help).\n");
    return 2;
#endif
  }
  return mirutone::cli::run(argc, argv);
}
