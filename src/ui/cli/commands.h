// Registration of each subcommand; each sets the status that run() returns.
#pragma once

#include <CLI/CLI.hpp>

namespace mirutone::cli {

void register_inspect(CLI::App& app);
void register_query(CLI::App& app);
void register_make_sample(CLI::App& app);
void register_copy(CLI::App& app);
void register_convert(CLI::App& app);

// --sort-keys system|builtin on a command that writes Japanese text keys.
void add_sort_keys_option(CLI::App* cmd);

// Exit status of the subcommand that ran.
int last_status();
void set_status(int status);

}  // namespace mirutone::cli
