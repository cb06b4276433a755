#include "ui/cli/cli.h"

#include <CLI/CLI.hpp>

#include "db/jet/index_key.h"
#include "platform/sort_key.h"
#include "ui/cli/commands.h"

namespace mirutone::cli {

void add_sort_keys_option(CLI::App* cmd) {
  const char* fallback = platform::system_sort_keys_available() ? "system" : "builtin";
  cmd->add_option_function<std::string>(
         "--sort-keys",
         [](const std::string& v) {
           if (v == "system" && !platform::system_sort_keys_available())
             throw CLI::ValidationError("--sort-keys", "this system has no sort keys of its own; use builtin");
           jet::set_japanese_sort_keys(v == "system" ? jet::JapaneseSortKeys::System
                                                     : jet::JapaneseSortKeys::Builtin);
         },
         std::string("Japanese text keys: from the operating system (system, Windows only) or from the "
                     "built-in table (builtin); default ") + fallback)
      ->check(CLI::IsMember({"system", "builtin"}));
}

int run(int argc, char** argv) {
  CLI::App app{"mirutone: converts a NorvalePRO management database to Norvale7's two databases"};
  app.require_subcommand(1);
  register_inspect(app);
  register_query(app);
  register_make_sample(app);
  register_copy(app);
  register_convert(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  }
  return last_status();
}

}  // namespace mirutone::cli
