// Registration of each subcommand; the one that runs sets `status`, the
// exit status that run() returns.
#pragma once

#include <CLI/CLI.hpp>

namespace mirutone::cli {

void register_inspect(CLI::App& app, int& status);
void register_query(CLI::App& app, int& status);
void register_make_sample(CLI::App& app, int& status);
void register_copy(CLI::App& app, int& status);
void register_convert(CLI::App& app, int& status);

// --sort-keys system|builtin on a command that writes Japanese text keys.
void add_sort_keys_option(CLI::App* cmd);

}  // namespace mirutone::cli
