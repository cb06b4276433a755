// mirutone: with no arguments, the window; with a subcommand, the terminal front end.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "i18n/messages.h"
#include "platform/console.h"
#include "ui/cli/cli.h"

#ifdef MIRUTONE_HAVE_WINDOW
#include "ui/window/window_main.h"
#endif
#ifdef MIRUTONE_HAVE_WIN32_WINDOW
#include <windows.h>

#include "ui/win32/form1_win32.h"

namespace {

// mirutone.exe is a console program, so that its commands read and write the
// command prompt they were typed in and the prompt waits for them. Started
// from Explorer with no arguments, Windows gave it a console of its own:
// that one is hidden and let go, and only the window remains. Started from
// a prompt, the prompt's console stays as it is.
void let_go_of_own_console() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  if (HWND console = GetConsoleWindow()) ShowWindow(console, SW_HIDE);
  FreeConsole();
}

}  // namespace
#endif

int main(int argc, char** argv) {
  namespace i18n = mirutone::i18n;
  i18n::set_language(i18n::language_from_environment());
  if (argc <= 1) {
#if defined(MIRUTONE_HAVE_WINDOW)
    return mirutone::ui::run_window(argc, argv);  // in Japanese, whatever the locale
#elif defined(MIRUTONE_HAVE_WIN32_WINDOW)
    let_go_of_own_console();
    return mirutone::ui::win32::run_window();
#else
    std::fprintf(stderr, "mirutone: %s\n",
                 i18n::tr("this build has no window; use a command (mirutone --help).").c_str());
    return 2;
#endif
  }
  // Paths and values on the command line are UTF-8 from here on, also where
  // the system hands them over in another code page.
  mirutone::platform::prepare_console();
  std::vector<std::string> args = mirutone::platform::utf8_arguments(argc, argv);
  std::vector<char*> ptrs;
  for (auto& a : args) ptrs.push_back(a.data());
  ptrs.push_back(nullptr);
  return mirutone::cli::run(static_cast<int>(args.size()), ptrs.data());
}
