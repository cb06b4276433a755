#include "ui/cli/cli.h"

#include <CLI/CLI.hpp>

#include "ui/cli/commands.h"

namespace mirutone::cli {

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
