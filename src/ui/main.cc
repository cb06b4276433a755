// mirutone: with no arguments, the window; with a subcommand, the terminal front end.
#include <cstdlib>
#include <cstdio>

#include "i18n/messages.h"
#include "ui/cli/cli.h"

#ifdef MIRUTONE_HAVE_WINDOW
#include "ui/window/window_main.h"
#endif

int main(int argc, char** argv) {
  namespace i18n = mirutone::i18n;
  i18n::set_language(i18n::language_from_environment());
  if (argc <= 1) {
#ifdef MIRUTONE_HAVE_WINDOW
    return mirutone::ui::run_window(argc, argv);  // in Japanese, whatever the locale
#else
    std::fprintf(stderr, "mirutone: %s\n",
                 i18n::tr("this build has no window; use a command (mirutone --help).").c_str());
    return 2;
#endif
  }
  return mirutone::cli::run(argc, argv);
}
